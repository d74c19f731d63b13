#include "app/Extras.h"

#include "app/KalendoApplication.h"
#include "widgets/FormParts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>

// Defined only where the extras are linked in.
extern "C" const KalendoExtras* KalendoExtrasEntry() __attribute__((weak));

namespace {

QString loadError;

// Installed (and in the build tree) the module is under lib/kalendo/modules; a portable copy
// keeps it beside the program.
QString modulePath() {
    const QString program = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    const QString name = QStringLiteral("kalendo-extras.so");
    const QString installed = QDir::cleanPath(
        program + QStringLiteral(KALENDO_MODULE_FROM_PROGRAM) + QLatin1Char('/') + name);
    const QString beside = program + name;
    return QFileInfo::exists(installed) || !QFileInfo::exists(beside) ? installed : beside;
}

const KalendoExtras* load() {
    if (KalendoExtrasEntry)
        return KalendoExtrasEntry();
    // Kept loaded to the end: the sync's objects live as long as the program.
    QLibrary module(modulePath());
    // Every symbol bound at once: one the program lacks fails the load, not a later call.
    module.setLoadHints(QLibrary::ResolveAllSymbolsHint);
    const auto entry =
        reinterpret_cast<const KalendoExtras* (*)()>(module.resolve(KALENDO_EXTRAS_ENTRY));
    if (!entry) {
        loadError = module.errorString();
        qWarning("kalendo: %s", qUtf8Printable(loadError));
        return nullptr;
    }
    return entry();
}

} // namespace

const KalendoExtras* Extras() {
    static const KalendoExtras* const extras = load();
    return extras;
}

QString ExtrasError() {
    Extras();
    return loadError;
}

const KalendoExtras* ExtrasOrTell(QWidget* parent) {
    const KalendoExtras* extras = Extras();
    if (!extras)
        ShowMessageBox(parent, QMessageBox::Critical, ApplicationTitle,
                       QStringLiteral("同期・iCalendar・印刷の部分を読み込めませんでした。"
                                      "Kalendo を入れ直してください。\n%1")
                           .arg(loadError));
    return extras;
}
