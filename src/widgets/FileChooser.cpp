#include "widgets/FileChooser.h"

#include <QFileDialog>

namespace {

std::function<QString(FileChoice, const QString&)>& chooser() {
    static std::function<QString(FileChoice, const QString&)> instance;
    return instance;
}

} // namespace

QString ChooseFile(QWidget* parent, FileChoice kind, const QString& caption,
                   const QString& suggested, const QString& filter) {
    if (chooser())
        return chooser()(kind, suggested);
    return kind == FileChoice::Open
               ? QFileDialog::getOpenFileName(parent, caption, suggested, filter)
               : QFileDialog::getSaveFileName(parent, caption, suggested, filter);
}

void SetFileChooser(std::function<QString(FileChoice kind, const QString& suggested)> fn) {
    chooser() = std::move(fn);
}
