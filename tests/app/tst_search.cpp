#include "TestSupport.h"
#include "WhenModal.h"
#include "anniversary/Anniversary.h"
#include "app/Forms.h"
#include "app/KalendoApplication.h"
#include "app/Main.h"
#include "rules/Clock.h"
#include "rules/ComType.h"
#include "rulesets/ComWeeks.h"
#include "schedule/MainEdit.h"
#include "searchwindow/SearchForm.h"
#include "widgets/ListGrid.h"

#include <QAccessible>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

namespace {

// A screen reader's ear on the accessibility bus: the objects whose description changed, by path.
class DescriptionListener : public QObject {
    Q_OBJECT
public:
    bool start() {
        const QDBusReply<QString> address =
            QDBusConnection::sessionBus().call(QDBusMessage::createMethodCall(
                QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress")));
        if (!address.isValid())
            return false;
        QDBusConnection bus = QDBusConnection::connectToBus(address.value(), m_name);
        bus.connect(QString(), QString(), QStringLiteral("org.a11y.atspi.Event.Object"),
                    QStringLiteral("PropertyChange"), this, SLOT(changed(QDBusMessage)));
        // The toolkit sends an event only once a reader has asked for its kind.
        QDBusMessage ask = QDBusMessage::createMethodCall(
            QStringLiteral("org.a11y.atspi.Registry"), QStringLiteral("/org/a11y/atspi/registry"),
            QStringLiteral("org.a11y.atspi.Registry"), QStringLiteral("RegisterEvent"));
        ask << QStringLiteral("object:property-change:accessible-description");
        return bus.isConnected() && bus.call(ask).type() == QDBusMessage::ReplyMessage;
    }
    ~DescriptionListener() override { QDBusConnection::disconnectFromBus(m_name); }

    // Where the toolkit sends an object's events.
    static QString pathOf(QObject* object) {
        return QStringLiteral("/org/a11y/atspi/accessible/") +
               QString::number(
                   QAccessible::uniqueId(QAccessible::queryAccessibleInterface(object)));
    }

    QStringList described;

public slots:
    void changed(const QDBusMessage& message) {
        if (message.arguments().value(0).toString() == QLatin1String("accessible-description"))
            described << message.path();
    }

private:
    const QString m_name = QStringLiteral("reader");
};

} // namespace

// From the main window's 検索 to the entry shown: typed into the search window, the match
// chosen with Enter, and the window that shows it open on it.
class tst_Search : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void opensTheMatch_data();
    void opensTheMatch();

private:
    std::unique_ptr<TempDataFolder> m_data;
    QStringList m_errors;
};

void tst_Search::init() {
    m_data = std::make_unique<TempDataFolder>();
    SetDataFolder(m_data->path());
    m_errors.clear();
    KalendoApplication::SetErrorReporter([this](const QString& message) { m_errors << message; });
    Clock::setFixedNow(QDateTime(QDate(2026, 12, 7), QTime(9, 0)));
    // The day the match is on, among others; a year file in a folder's place, named once.
    m_data->write(
        QStringLiteral("2025.csv"),
        sj("20250310,1,09:00,09:30,朝会,,\r\n20250310,2,10:00,11:00,歯医者（ﾊｲｼｬ）,駅前,\r\n"
           "20250310,3,12:00,13:00,昼食,,\r\n20250311,1,,,会議,,\r\n"));
    QDir().mkpath(m_data->file(QStringLiteral("2019.csv")));
    m_data->write(AnniversaryFileName,
                  sj("2001/04/01,入社,\r\n1990/05/20,結婚記念日,\r\n2010/08/08,開店,\r\n"));
    m_data->write(HolidayFileName,
                  sj("01/01,元日,0,0\r\n11/03,文化の日,0,0\r\n05/05,こどもの日,0,0\r\n"));
    m_data->write(EventFileName, sj("07/07,七夕,0,0\r\n10/--,運動会,2,6\r\n"));
    CreateForms();
    MainForm->show();
    MainForm->activateWindow(); // no window manager on the accessibility bus's display
    QVERIFY(QTest::qWaitForWindowActive(MainForm));
}

void tst_Search::cleanup() {
    DestroyForms();
    KalendoApplication::SetErrorReporter({});
    Clock::setFixedNow(QDateTime());
    SetDataFolder(QString());
    m_data.reset();
}

void tst_Search::opensTheMatch_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("window"); // the caption of the window that opens
    QTest::addColumn<QString>("title");  // the title of its current row
    QTest::addColumn<QString>("month");  // the month the main window shows, "YYYY/M"
    QTest::newRow("schedule entry, typed in hiragana, stored in half-width katakana")
        << "はいしゃ"
        << "2025/03/10"
        << "歯医者（ﾊｲｼｬ）"
        << "2025/3";
    QTest::newRow("anniversary") << "結婚"
                                 << "記念日設定"
                                 << "結婚記念日"
                                 << "2026/12";
    QTest::newRow("holiday rule") << "文化"
                                  << "休日設定"
                                  << "文化の日"
                                  << "2026/12";
    QTest::newRow("event rule") << "運動"
                                << "イベント設定"
                                << "運動会"
                                << "2026/12";
}

void tst_Search::opensTheMatch() {
    QFETCH(QString, typed);
    QFETCH(QString, window);
    QFETCH(QString, title);
    QFETCH(QString, month);

    QTest::keyClick(MainForm->gridCal, Qt::Key_F, Qt::ControlModifier);
    TSearchForm* form = MainForm->SearchForm();
    QVERIFY(form);
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form));
    QTRY_COMPARE(QApplication::focusWidget(), form->editSearch);
    QCOMPARE(form->editSearch->accessibleName(), QStringLiteral("検索する言葉"));
    QCOMPARE(form->listResults->accessibleName(), QStringLiteral("検索結果"));

    // With the accessibility bus (tst_search_screenreader), as a screen reader hears it too.
    DescriptionListener reader;
    const bool bus = qEnvironmentVariableIsSet("KALENDO_ACCESSIBILITY_BUS");
    if (bus) {
        QTRY_VERIFY_WITH_TIMEOUT(QAccessible::isActive(), 10000);
        QVERIFY(reader.start());
        // Heard once the toolkit has taken the reader's request.
        const QString field = DescriptionListener::pathOf(form->editSearch);
        QTRY_VERIFY_WITH_TIMEOUT((form->editSearch->setAccessibleDescription(QStringLiteral("?")),
                                  reader.described.contains(field)),
                                 10000);
        // Events come in order: once the list's is heard, none of the field's is on its way.
        form->listResults->setAccessibleDescription(QStringLiteral("?"));
        QTRY_VERIFY(reader.described.contains(DescriptionListener::pathOf(form->listResults)));
        reader.described.clear();
    }

    QSignalSpy shown(form, &TSearchForm::ResultsShown);
    // As an input method commits what was typed.
    QInputMethodEvent commit;
    commit.setCommitString(typed);
    QApplication::sendEvent(form->editSearch, &commit);
    QVERIFY(shown.wait());
    QCOMPARE(form->listResults->topLevelItemCount(), 1);
    // The count is what a screen reader hears of the label.
    QAccessibleInterface* count = QAccessible::queryAccessibleInterface(form->lblCount);
    QVERIFY(count);
    QCOMPARE(count->text(QAccessible::Name), QStringLiteral("1件見つかりました"));
    // Told where the focus is, as the field's description.
    QCOMPARE(
        QAccessible::queryAccessibleInterface(form->editSearch)->text(QAccessible::Description),
        count->text(QAccessible::Name));
    if (bus)
        QTRY_VERIFY(reader.described.contains(DescriptionListener::pathOf(form->editSearch)));
    QVERIFY(form->lblStatus->text().contains(QStringLiteral("2019.csv")));
    QCOMPARE(form->lblStatus->text().count(QStringLiteral("2019.csv")), 1);

    QDialog* opened = window.contains(QLatin1Char('/')) ? static_cast<QDialog*>(MainEditForm)
                      : window == QStringLiteral("記念日設定")
                          ? static_cast<QDialog*>(AnniversaryForm)
                          : static_cast<QDialog*>(ComWeeksForm);
    const ListGrid* grid = opened == MainEditForm      ? MainEditForm->gridEdit
                           : opened == AnniversaryForm ? AnniversaryForm->list()
                                                       : ComWeeksForm->list();
    const int titleColumn = opened == MainEditForm ? 4 : 1;
    bool seen = false;
    whenModal(opened, [&] {
        seen = true;
        const QString caption = opened->windowTitle();
        const QByteArray current = grid->grid().cell(titleColumn, grid->grid().currentRow());
        opened->reject();
        QCOMPARE(caption, window);
        QCOMPARE(Codec::toUnicode(current), title);
    });
    QTest::keyClick(form->listResults, Qt::Key_Return);
    QTRY_VERIFY(seen);
    QTRY_VERIFY(!opened->isVisible());
    QCOMPARE(QStringLiteral("%1/%2").arg(MainForm->ShownYear()).arg(MainForm->ShownMonth()), month);
    QCOMPARE(m_errors, QStringList());
}

QTEST_MAIN(tst_Search)
#include "tst_search.moc"
