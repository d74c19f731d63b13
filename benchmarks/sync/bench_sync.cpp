// Sync with a CalDAV server (a Radicale of its own on 127.0.0.1) against the floor of the same
// HTTP round trips made by a minimal client in the same run, with none of Kalendo's code:
// - first sync of 5,000 schedule entries: the floor PUTs the same 5,000 prepared bodies
//   (If-None-Match: *, as many at once as Qt allows to one host) into a calendar of its own;
// - a sync with nothing changed: the floor is one sync-collection REPORT from the last token.
// Also counts the requests of the unchanged sync (one, where the server has sync tokens),
// checks that it leaves the sync state file as it was, and measures its reading of the sync
// state and the entries with their identities against reading those files' bytes.
// Then the same with anniversaries synced too (KALENDO_BENCH_ANNIVERSARIES of them, default
// 2,000, in both calendars): an unchanged sync against the same one-REPORT floor, and its reading
// of the anniversaries and the sync state against reading those files' bytes.
// Floor and work are taken in turn, each first sync into a new calendar; the unchanged sync is
// the best of several. The server stores through bench_radicale_storage.py (Radicale's own
// storage without its per-PUT scan of every stored event and without fsync; see there), as
// stock Radicale makes each PUT slower the fuller the calendar and 5,000 take hours.
// Run: bench_sync; KALENDO_BENCH_RUNS sets the first-sync rounds (default 1),
// KALENDO_BENCH_ENTRIES the entries (default 5000), KALENDO_BENCH_STOCK_RADICALE=1 uses
// Radicale's own storage.

#include "../../tests/sync/RadicaleServer.h"
#include "data/Codec.h"
#include "exchange/IcalHandle.h"
#include "exchange/IcsExport.h"
#include "rules/Clock.h"
#include "rules/ComType.h"
#include "rules/EntryIdentity.h"
#include "sync/AnniversarySync.h"
#include "sync/CalendarSync.h"
#include "sync/LocalEntries.h"
#include "sync/SyncState.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QUuid>
#include <QXmlStreamReader>

#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString User = QString::fromLatin1(RadicaleServer::User);
const QString Password = QString::fromLatin1(RadicaleServer::Password);
// Qt's connections to one host at once.
constexpr int HostConnections = 6;

// Ctrl+C, a kill or a hang-up: told to the event loop, which removes the run's folders.
int signalPipe[2] = {-1, -1};

void onStopSignal(int received) {
    const char number = char(received);
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &number, 1);
}

double processCpuNs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e9 + double(now.tv_nsec);
}

// The floor of reading: the files' bytes read whole, nothing made of them.
double readFilesCpuNs(const QStringList& paths, qint64* bytes) {
    const double start = processCpuNs();
    *bytes = 0;
    for (const QString& path : paths) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            qFatal("cannot read %s", qPrintable(path));
        *bytes += f.readAll().size();
    }
    return processCpuNs() - start;
}

int envInt(const char* name, int fallback) {
    const int value = qEnvironmentVariableIntValue(name);
    return value > 0 ? value : fallback;
}

// The minimal client: plain requests, Basic authentication sent with each.
class Floor {
public:
    QNetworkReply* request(const QByteArray& verb, const QUrl& url, const QByteArray& body,
                           const QList<QPair<QByteArray, QByteArray>>& headers) {
        QNetworkRequest r(url);
        r.setRawHeader("Authorization",
                       "Basic " + (User + QLatin1Char(':') + Password).toUtf8().toBase64());
        for (const auto& [name, value] : headers)
            r.setRawHeader(name, value);
        return m_network.sendCustomRequest(r, verb, body);
    }
    // One request, waited for; its status.
    int once(const QByteArray& verb, const QUrl& url, const QByteArray& body,
             const QList<QPair<QByteArray, QByteArray>>& headers, QByteArray* answer = nullptr) {
        QNetworkReply* reply = request(verb, url, body, headers);
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        if (!reply->isFinished())
            loop.exec();
        reply->deleteLater();
        if (answer)
            *answer = reply->readAll();
        return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    }
    // Every body PUT as a new event, HostConnections at once; the number that were stored.
    int putAll(const QUrl& calendar, const QList<QPair<QByteArray, QByteArray>>& events) {
        int next = 0, inFlight = 0, stored = 0;
        QEventLoop loop;
        std::function<void()> pump = [&] {
            while (inFlight < HostConnections && next < events.size()) {
                const auto& [name, body] = events[next++];
                ++inFlight;
                QNetworkReply* reply =
                    request("PUT", calendar.resolved(QUrl(QString::fromLatin1(name))), body,
                            {{"If-None-Match", "*"}, {"Content-Type", "text/calendar"}});
                QObject::connect(reply, &QNetworkReply::finished, [&, reply] {
                    reply->deleteLater();
                    --inFlight;
                    if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 201)
                        ++stored;
                    pump();
                });
            }
            if (inFlight == 0)
                loop.quit();
        };
        pump();
        if (inFlight > 0)
            loop.exec();
        return stored;
    }

private:
    QNetworkAccessManager m_network;
};

QByteArray syncReport(const QByteArray& token) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?><D:sync-collection xmlns:D=\"DAV:\">"
           "<D:sync-token>" +
           token +
           "</D:sync-token><D:sync-level>1</D:sync-level><D:prop><D:getetag/></D:prop>"
           "</D:sync-collection>";
}

QByteArray tokenOf(const QByteArray& multistatus) {
    QXmlStreamReader reader(multistatus);
    while (!reader.atEnd())
        if (reader.readNext() == QXmlStreamReader::StartElement &&
            reader.name() == QLatin1String("sync-token"))
            return reader.readElementText().trimmed().toUtf8();
    return {};
}

SyncOutcome runSync(CalendarSync& sync, const QUrl& calendar, bool anniversaries = false) {
    SyncOutcome outcome;
    QEventLoop loop;
    QObject::connect(&sync, &CalendarSync::finished, &loop, [&](const SyncOutcome& o) {
        outcome = o;
        loop.quit();
    });
    sync.start({calendar, User, Password, anniversaries});
    loop.exec();
    if (!outcome.ok)
        qFatal("sync failed: %s", qPrintable(outcome.message));
    return outcome;
}

SyncOutcome runSync(const QString& folder, const QUrl& calendar, bool anniversaries = false) {
    CalendarSync sync(folder);
    return runSync(sync, calendar, anniversaries);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int entries = envInt("KALENDO_BENCH_ENTRIES", 5000);
    const int rounds = envInt("KALENDO_BENCH_RUNS", 1);
    const int anniversaries = envInt("KALENDO_BENCH_ANNIVERSARIES", 2000);
    constexpr int unchangedRuns = 10;
    auto server = std::make_unique<RadicaleServer>();
    if (!qEnvironmentVariableIsSet("KALENDO_BENCH_STOCK_RADICALE"))
        server->useStorage("bench_radicale_storage", QStringLiteral(KALENDO_BENCH_SYNC_DIR));
    // The data folder: one year file of entries spread over the year, as a user's would be.
    QTemporaryDir data;
    std::unique_ptr<QTemporaryDir> folder;
    // Stopped from outside: the server is stopped (it would die with this process anyway) and
    // the folders removed, then the signal ends the process as it would have.
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        qFatal("no pipe");
    QSocketNotifier stopped(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&stopped, &QSocketNotifier::activated, [&] {
        char number = 0;
        if (::read(signalPipe[0], &number, 1) != 1)
            return;
        server.reset();
        data.remove();
        folder.reset();
        std::signal(number, SIG_DFL);
        std::raise(number);
    });
    for (const int number : {SIGINT, SIGTERM, SIGHUP})
        std::signal(number, onStopSignal);
    if (!server->start())
        qFatal("radicale did not start");
    Floor floor;
    int calendars = 0;
    const auto makeCalendar = [&] {
        const QUrl url = server->url(QStringLiteral("/%1/c%2/").arg(User).arg(++calendars));
        if (floor.once("MKCALENDAR", url, {}, {}) != 201)
            qFatal("cannot make a calendar");
        return url;
    };

    const QString dataFolder = data.path() + QLatin1Char('/');
    const int year = Clock::today().year();
    QByteArray lines;
    const QByteArray title = *Codec::fromUnicode(QStringLiteral("打合せ"));
    const QByteArray place = *Codec::fromUnicode(QStringLiteral("本社会議室"));
    for (int i = 0; i < entries; ++i) {
        const QDate day = QDate(year, 1, 1).addDays(i % 365);
        lines +=
            day.toString(QStringLiteral("yyyyMMdd")).toLatin1() + ',' +
            QByteArray::number(i / 365 % 9 + 1) + ',' +
            QString::asprintf("%02d:%02d,%02d:00,", 8 + i % 10, i % 60, 9 + i % 10).toLatin1() +
            title + QByteArray::number(i) + ',' + place + ",\r\n";
    }
    QFile file(ScheduleFilePath(dataFolder, year));
    if (!file.open(QIODevice::WriteOnly) || file.write(lines) != lines.size())
        qFatal("cannot write the year file");
    file.close();
    // Its identities, as the first save of a day writes them.
    if (const QStringList messages = RecordYearIdentities(dataFolder, year); !messages.isEmpty())
        qFatal("identities not written: %s", qPrintable(messages.join(QLatin1Char(' '))));
    // The floor's bodies: the events the entries become, prepared before the clock runs.
    QList<QPair<QByteArray, QByteArray>> events;
    for (const LocalEntry& e : ReadLocalEntries(dataFolder)) {
        const QByteArray uid =
            QUuid::createUuid().toByteArray(QUuid::WithoutBraces) + KalendoUidSuffix;
        events << qMakePair(uid + ".ics", BuildIcsEvent(uid, e.day, e.entry, ExchangeZoneId()));
    }
    if (events.size() != entries)
        qFatal("the year file gave %lld entries", qlonglong(events.size()));

    qInfo("sync of %d schedule entries with Radicale on 127.0.0.1; %d first-sync round(s), best "
          "of %d unchanged syncs",
          entries, rounds, unchangedRuns);
    double firstFloor = 1e300, firstWork = 1e300;
    QUrl workCalendar, floorCalendar;
    for (int round = 0; round < rounds; ++round) {
        floorCalendar = makeCalendar();
        QElapsedTimer t;
        t.start();
        const int stored = floor.putAll(floorCalendar, events);
        firstFloor = std::min(firstFloor, double(t.nsecsElapsed()));
        if (stored != entries)
            qFatal("the floor stored %d of %d", stored, entries);

        folder = std::make_unique<QTemporaryDir>();
        for (const QString& path : {file.fileName(), IdentityFilePath(dataFolder, year)})
            QFile::copy(path, folder->filePath(QFileInfo(path).fileName()));
        workCalendar = makeCalendar();
        t.start();
        const SyncOutcome outcome = runSync(folder->path() + QLatin1Char('/'), workCalendar);
        firstWork = std::min(firstWork, double(t.nsecsElapsed()));
        if (outcome.sent != entries)
            qFatal("the first sync sent %d of %d", outcome.sent, entries);
        qInfo("  round %d: first sync %d requests", round + 1, outcome.requests);
    }
    if (server->storedEvents(workCalendar.path().section(QLatin1Char('/'), -2, -2)) != entries)
        qFatal("the server does not hold every entry once");
    const double firstRatio = firstWork / firstFloor;
    qInfo("first sync: %.0f ms; floor (%d PUTs, %d at once): %.0f ms; %.2f x floor",
          firstWork / 1e6, entries, HostConnections, firstFloor / 1e6, firstRatio);

    // Nothing changed since: the floor asks for the changes since its last token.
    QByteArray answer;
    if (floor.once("REPORT", floorCalendar, syncReport({}), {{"Depth", "0"}}, &answer) != 207)
        qFatal("no sync-collection report");
    const QByteArray token = tokenOf(answer);
    // Any write of the file, in place or by replacing it, moves its change time.
    qint64 changed = 0;
    const auto stateChanged = [&] {
        struct stat st {};
        const QByteArray path = QFile::encodeName(SyncStatePath(folder->path() + QLatin1Char('/')));
        if (::stat(path.constData(), &st) != 0)
            qFatal("no sync state");
        return qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    };
    // The first sync's token was taken before its own PUTs: the next sync takes the newer one,
    // and only from then on is there nothing to write.
    runSync(folder->path() + QLatin1Char('/'), workCalendar);
    changed = stateChanged();
    // Wall time, and this process's CPU time (the client's own work, the server's excluded);
    // the most requests an unchanged sync made.
    // One CalendarSync for all of them, as the program's sync runner keeps one.
    const auto unchanged = [&](const char* what, const QByteArray& fromToken, bool withAnniv) {
        CalendarSync sync(folder->path() + QLatin1Char('/'));
        double unchangedFloor = 1e300, unchangedWork = 1e300, floorCpu = 1e300, workCpu = 1e300;
        int requests = 0;
        for (int i = 0; i < unchangedRuns; ++i) {
            QElapsedTimer t;
            t.start();
            double cpu = processCpuNs();
            if (floor.once("REPORT", floorCalendar, syncReport(fromToken), {{"Depth", "0"}},
                           &answer) != 207)
                qFatal("the floor's sync-collection report failed");
            unchangedFloor = std::min(unchangedFloor, double(t.nsecsElapsed()));
            floorCpu = std::min(floorCpu, processCpuNs() - cpu);
            t.start();
            cpu = processCpuNs();
            const SyncOutcome outcome = runSync(sync, workCalendar, withAnniv);
            unchangedWork = std::min(unchangedWork, double(t.nsecsElapsed()));
            workCpu = std::min(workCpu, processCpuNs() - cpu);
            if (outcome.sent != 0 || outcome.received != 0)
                qFatal("an unchanged sync sent %d and received %d", outcome.sent, outcome.received);
            requests = std::max(requests, outcome.requests);
        }
        if (stateChanged() != changed)
            qFatal("a sync with nothing changed rewrote the sync state");
        qInfo("%s: %.1f ms, %d request(s) (target 1: %s); floor (one sync-collection REPORT): "
              "%.1f ms; %.2f x floor; CPU here %.1f ms against the floor's %.1f ms, %.1f x",
              what, unchangedWork / 1e6, requests, requests == 1 ? "met" : "NOT met",
              unchangedFloor / 1e6, unchangedWork / unchangedFloor, workCpu / 1e6, floorCpu / 1e6,
              workCpu / floorCpu);
        return requests;
    };
    const int requests = unchanged("sync with nothing changed", token, false);

    // Every sync first reads its state and the entries (each entry's text fitted and hashed);
    // their identities (the identity file matched to the year's lines) only where the server or
    // a line here changed: against reading the three files' bytes. CPU time: all of it is work
    // here, which a busy machine's waits would hide in wall time.
    const QString workFolder = folder->path() + QLatin1Char('/');
    const QStringList paths = {ScheduleFilePath(workFolder, year),
                               IdentityFilePath(workFolder, year), SyncStatePath(workFolder)};
    double readBytes = 1e300, readIdentities = 1e300, readEntries = 1e300, readState = 1e300;
    qint64 bytes = 0;
    for (int i = 0; i < unchangedRuns; ++i) {
        readBytes = std::min(readBytes, readFilesCpuNs(paths, &bytes));
        double t = processCpuNs();
        const qsizetype matched = YearIdentities::read(workFolder, year).size();
        readIdentities = std::min(readIdentities, processCpuNs() - t);
        t = processCpuNs();
        const qsizetype read = ReadLocalEntries(workFolder, false).size();
        readEntries = std::min(readEntries, processCpuNs() - t);
        t = processCpuNs();
        const qsizetype records = SyncState::load(workFolder).records.size();
        readState = std::min(readState, processCpuNs() - t);
        if (matched != entries || read != entries || records != entries)
            qFatal("read %lld, %lld and %lld of %d entries", qlonglong(matched), qlonglong(read),
                   qlonglong(records), entries);
    }
    qInfo("  of its CPU reading the entries %.1f ms (a change adds matching the identities, %.1f "
          "ms) and the sync state %.1f ms; floor (reading the three files, %lld bytes): %.2f ms; "
          "%.1f x floor",
          readEntries / 1e6, readIdentities / 1e6, readState / 1e6, qlonglong(bytes),
          readBytes / 1e6, (readEntries + readState) / readBytes);

    // Anniversaries in both calendars: the floor's PUT as the work's first sync sends them.
    QByteArray annivLines;
    QList<QPair<QByteArray, QByteArray>> annivEvents;
    const QByteArray annivTitle = *Codec::fromUnicode(QStringLiteral("誕生日"));
    for (int i = 0; i < anniversaries; ++i) {
        const QDate day = QDate(1950, 1, 1).addDays(i * 13 % 27000);
        const QByteArray text = annivTitle + QByteArray::number(i);
        annivLines += day.toString(QStringLiteral("yyyy/MM/dd")).toLatin1() + ',' + text + ",\r\n";
        const QByteArray uid = "anniversary-" +
                               QUuid::createUuid().toByteArray(QUuid::WithoutBraces) +
                               KalendoUidSuffix;
        annivEvents << qMakePair(uid + ".ics", BuildIcsAnniversary(uid, day, false, text));
    }
    QFile annivFile(AnniversaryFilePath(workFolder));
    if (!annivFile.open(QIODevice::WriteOnly) || annivFile.write(annivLines) != annivLines.size())
        qFatal("cannot write the anniversaries");
    annivFile.close();
    if (floor.putAll(floorCalendar, annivEvents) != anniversaries)
        qFatal("the floor did not store every anniversary");
    if (floor.once("REPORT", floorCalendar, syncReport({}), {{"Depth", "0"}}, &answer) != 207)
        qFatal("no sync-collection report");
    const QByteArray annivToken = tokenOf(answer);
    if (const SyncOutcome first = runSync(workFolder, workCalendar, true);
        first.sent != anniversaries)
        qFatal("the anniversaries' first sync sent %d of %d", first.sent, anniversaries);
    runSync(workFolder, workCalendar, true);
    changed = stateChanged();
    const QString what =
        QStringLiteral("with %1 anniversaries too, nothing changed").arg(anniversaries);
    const int annivRequests = unchanged(qPrintable(what), annivToken, true);
    const QStringList annivPaths = {AnniversaryFilePath(workFolder), SyncStatePath(workFolder)};
    double annivBytes = 1e300, readAnniv = 1e300;
    readState = 1e300;
    for (int i = 0; i < unchangedRuns; ++i) {
        annivBytes = std::min(annivBytes, readFilesCpuNs(annivPaths, &bytes));
        double t = processCpuNs();
        const qsizetype read = ReadLocalAnniversaries(workFolder).size();
        readAnniv = std::min(readAnniv, processCpuNs() - t);
        t = processCpuNs();
        const qsizetype records = SyncState::load(workFolder).anniversaries.size();
        readState = std::min(readState, processCpuNs() - t);
        if (read != anniversaries || records != anniversaries)
            qFatal("read %lld and %lld of %d anniversaries", qlonglong(read), qlonglong(records),
                   anniversaries);
    }
    qInfo("  of its CPU reading the anniversaries %.1f ms and the sync state %.1f ms; floor "
          "(reading those two files, %lld bytes): %.2f ms; %.1f x floor",
          readAnniv / 1e6, readState / 1e6, qlonglong(bytes), annivBytes / 1e6,
          (readAnniv + readState) / annivBytes);
    return requests == 1 && annivRequests == 1 ? 0 : 1;
}
