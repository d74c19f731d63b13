#include "TestSupport.h"
#include "app/Forms.h"
#include "app/KalendoApplication.h"
#include "app/Main.h"
#include "calendarexchange/CalendarExport.h"
#include "calendarexchange/CalendarImport.h"
#include "rules/Clock.h"
#include "rules/ComType.h"
#include "widgets/FileChooser.h"

#include <QAction>
#include <QCheckBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include <libical/ical.h>

// The three file commands from the main window's menu, as the user runs them.
class tst_CalendarExchange : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void importPreview_data();
    void importPreview();
    void exportAndPdf();

private:
    std::unique_ptr<TempDataFolder> m_data;
    QStringList m_errors;
    QString m_chosen;
};

namespace {

// Runs fn inside the exec() of the modal window with that object name.
template <typename Form> void whenShown(const char* name, std::function<void(Form*)> fn) {
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, name, fn] {
        auto* form = qobject_cast<Form*>(QApplication::activeModalWidget());
        if (!form || form->objectName() != QLatin1String(name))
            return;
        timer->stop();
        timer->deleteLater();
        fn(form);
    });
    timer->start();
}

// A team calendar as a web calendar exports it: New York times with their zone, a weekly
// meeting without one week, and a birthday party whose cake code page 932 cannot hold.
const QByteArray TeamCalendar =
    "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//hand//written//EN\r\n"
    "BEGIN:VTIMEZONE\r\nTZID:America/New_York\r\nBEGIN:STANDARD\r\nDTSTART:19701101T020000\r\n"
    "RRULE:FREQ=YEARLY;BYMONTH=11;BYDAY=1SU\r\nTZOFFSETFROM:-0400\r\nTZOFFSETTO:-0500\r\n"
    "END:STANDARD\r\nBEGIN:DAYLIGHT\r\nDTSTART:19700308T020000\r\n"
    "RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=2SU\r\nTZOFFSETFROM:-0500\r\nTZOFFSETTO:-0400\r\n"
    "END:DAYLIGHT\r\nEND:VTIMEZONE\r\n"
    "BEGIN:VEVENT\r\nUID:weekly-1\r\nDTSTAMP:20250101T000000Z\r\n"
    "DTSTART;TZID=America/New_York:20250303T190000\r\n"
    "DTEND;TZID=America/New_York:20250303T200000\r\nRRULE:FREQ=WEEKLY;COUNT=4\r\n"
    "EXDATE;TZID=America/New_York:20250310T190000\r\nSUMMARY:Team sync\r\nEND:VEVENT\r\n"
    "BEGIN:VEVENT\r\nUID:party-1\r\nDTSTAMP:20250101T000000Z\r\n"
    "DTSTART;VALUE=DATE:20250315\r\nSUMMARY:誕生会\xF0\x9F\x8E\x82\r\nEND:VEVENT\r\n"
    "END:VCALENDAR\r\n";

} // namespace

void tst_CalendarExchange::init() {
    m_data = std::make_unique<TempDataFolder>();
    SetDataFolder(m_data->path());
    QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Vantree"),
              QStringLiteral("Kalendo"))
        .clear();
    m_errors.clear();
    KalendoApplication::SetErrorReporter([this](const QString& message) { m_errors << message; });
    SetFileChooser([this](FileChoice, const QString&) { return m_chosen; });
    Clock::setFixedNow(QDateTime(QDate(2025, 3, 7), QTime(9, 0)));
    CreateForms();
    MainForm->show();
    QVERIFY(QTest::qWaitForWindowExposed(MainForm));
}

void tst_CalendarExchange::cleanup() {
    DestroyForms();
    KalendoApplication::SetErrorReporter({});
    SetFileChooser({});
    Clock::setFixedNow(QDateTime());
    SetDataFolder(QString());
    m_data.reset();
}

void tst_CalendarExchange::importPreview_data() {
    QTest::addColumn<bool>("ok");
    QTest::addColumn<bool>("dropUnencodable");
    QTest::addColumn<QByteArray>("written"); // 2025.csv afterwards
    QTest::addColumn<QString>("summary");
    // 19:00 in New York is 09:00 the next morning in Tokyo (EST) or 08:00 (EDT from 9 March).
    const QByteArray first = sj("20250304,1,09:00,10:00,\"Team sync\",,\r\n");
    const QByteArray later = sj("20250318,1,08:00,09:00,\"Team sync\",,\r\n"
                                "20250325,1,08:00,09:00,\"Team sync\",,\r\n");
    QTest::newRow("OK refuses the cake")
        << true << false << first + later
        << QStringLiteral("追加 3件　更新 0件　既存 0件　追加しない 1件　対象外 0件");
    QTest::newRow("OK stores it without the cake")
        << true << true << first + sj("20250315,1,,,誕生会,,\r\n") + later
        << QStringLiteral("追加 4件　更新 0件　既存 0件　追加しない 0件　対象外 0件");
    QTest::newRow("Cancel writes nothing")
        << false << true << QByteArray()
        << QStringLiteral("追加 4件　更新 0件　既存 0件　追加しない 0件　対象外 0件");
}

void tst_CalendarExchange::importPreview() {
    QFETCH(bool, ok);
    QFETCH(bool, dropUnencodable);
    QFETCH(QByteArray, written);
    QFETCH(QString, summary);
    m_data->write(QStringLiteral("team.ics"), TeamCalendar);
    m_chosen = m_data->file(QStringLiteral("team.ics"));
    QString seen;
    QString tooltip;
    QString cellText;
    QStringList cut;
    int rows = 0;
    whenShown<TCalendarImportForm>("CalendarImportForm", [&](TCalendarImportForm* form) {
        form->checkDropUnencodable->setChecked(dropUnencodable);
        seen = form->lblSummary->text();
        rows = form->gridPreview->rowCount();
        // A cut cell shows whole in its tooltip, past the main window's hint hook.
        QTableWidgetItem* note = form->gridPreview->item(0, 3);
        const QPoint at = form->gridPreview->visualItemRect(note).center();
        QWidget* viewport = form->gridPreview->viewport();
        QHelpEvent hover(QEvent::ToolTip, at, viewport->mapToGlobal(at));
        QApplication::sendEvent(viewport, &hover);
        tooltip = QToolTip::isVisible() ? QToolTip::text() : QString();
        cellText = note->text();
        // The short columns show whole at the window's first size: no "2025/…".
        for (const int c : {0, 1, 2, 6}) {
            const QString text = form->gridPreview->item(0, c)->text();
            if (form->gridPreview->columnWidth(c) <
                form->gridPreview->fontMetrics().horizontalAdvance(text) + 6)
                cut << text;
        }
        (ok ? form->btnOk : form->btnCancel)->click();
    });
    MainForm->menuImport->trigger();
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(QLatin1Char('\n'))));
    QCOMPARE(seen, summary);
    QCOMPARE(rows, 4);
    QVERIFY(!cellText.isEmpty());
    QCOMPARE(tooltip, cellText);
    QCOMPARE(cut, QStringList());
    QCOMPARE(m_data->read(QStringLiteral("2025.csv")), written);
    // The month shows what OK wrote at once.
    QCOMPARE(MainForm->Tables().hasAnnotation(akSchedule, 2025, 3, 4), ok);
}

void tst_CalendarExchange::exportAndPdf() {
    m_data->write(QStringLiteral("2025.csv"), sj("20250307,1,09:00,10:00,会議,,\r\n"));
    m_data->write(QStringLiteral("holiday.csv"), sj("01/01,元日,0,0\r\n"));
    const QString ics = m_data->file(QStringLiteral("out.ics"));
    // Each ends saying where the file went.
    QStringList said;
    const auto answer = [&] {
        whenShown<QMessageBox>("", [&](QMessageBox* box) {
            said << box->text();
            box->accept();
        });
    };
    answer();
    whenShown<TCalendarExportForm>("CalendarExportForm", [&](TCalendarExportForm* form) {
        QCOMPARE(form->editFirstYear->value(), 2025); // this year and next
        QCOMPARE(form->editLastYear->value(), 2026);
        form->editFile->setText(ics);
        form->btnOk->click();
    });
    MainForm->menuExport->trigger();
    const QByteArray text = m_data->read(QStringLiteral("out.ics"));
    icalcomponent* parsed = icalparser_parse_string(text.constData());
    QVERIFY(parsed);
    QCOMPARE(icalcomponent_count_errors(parsed), 0);
    // 会議, 元日 of both years and the four equinox days.
    QCOMPARE(icalcomponent_count_components(parsed, ICAL_VEVENT_COMPONENT), 7);
    icalcomponent_free(parsed);

    m_chosen = m_data->file(QStringLiteral("month.pdf"));
    answer();
    MainForm->menuPdf->trigger();
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(QLatin1Char('\n'))));
    QVERIFY(m_data->read(QStringLiteral("month.pdf")).startsWith("%PDF"));
    QCOMPARE(said, (QStringList{QStringLiteral("7件の予定を書き出しました。\n") + ics,
                                QStringLiteral("書き出しました。\n") + m_chosen}));
}

QTEST_MAIN(tst_CalendarExchange)
#include "tst_calendarexchange.moc"
