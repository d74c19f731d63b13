// One sync of a data folder, for tests that kill it part-way:
//   sync_once <data folder> <calendar address> <user>   (the password on standard input)
#include "sync/CalendarSync.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4)
        return 2;
    CalendarSync sync(args.at(1));
    const QString password = QTextStream(stdin).readLine();
    QObject::connect(&sync, &CalendarSync::finished, &app, [](const SyncOutcome& outcome) {
        QCoreApplication::exit(outcome.ok ? 0 : 1);
    });
    sync.start({QUrl(args.at(2)), args.at(3), password});
    return app.exec();
}
