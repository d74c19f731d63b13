#pragma once

#include <QString>
#include <functional>

class QWidget;

// Asks the user for a file to read (Open) or to write (Save), starting at `suggested`; empty
// text when the user cancels. The desktop's file dialog unless a chooser is set (tests).
enum class FileChoice { Open, Save };
QString ChooseFile(QWidget* parent, FileChoice kind, const QString& caption,
                   const QString& suggested, const QString& filter);
void SetFileChooser(std::function<QString(FileChoice kind, const QString& suggested)> chooser);
