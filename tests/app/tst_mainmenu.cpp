#include "TestSupport.h"
#include "WhenModal.h"
#include "anniversary/Anniversary.h"
#include "app/About.h"
#include "app/Forms.h"
#include "app/KalendoApplication.h"
#include "app/Main.h"
#include "app/Shell.h"
#include "rules/Clock.h"
#include "rules/ComType.h"
#include "rulesets/ComWeeks.h"
#include "widgets/ListGrid.h"

#include <QAction>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

class tst_MainMenu : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void captions_data();
    void captions();
    void listsRefreshTheMonthOnOkOnly_data();
    void listsRefreshTheMonthOnOkOnly();
    void manualAndHomePage();
    void manualNotOpenedSaysWhereItIs_data();
    void manualNotOpenedSaysWhereItIs();
    void aboutRefreshesNothing();

private:
    std::unique_ptr<TempDataFolder> m_data;
    QStringList m_opened;
    QStringList m_errors;
};

void tst_MainMenu::init() {
    m_data = std::make_unique<TempDataFolder>();
    SetDataFolder(m_data->path());
    QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Vantree"),
              QStringLiteral("Kalendo"))
        .clear();
    m_opened.clear();
    m_errors.clear();
    SetShellOpener([this](const QString& url) { m_opened << url; });
    KalendoApplication::SetErrorReporter([this](const QString& message) { m_errors << message; });
    Clock::setFixedNow(QDateTime(QDate(2025, 3, 7), QTime(9, 0)));
    CreateForms();
    MainForm->show();
    QVERIFY(QTest::qWaitForWindowExposed(MainForm));
}

void tst_MainMenu::cleanup() {
    DestroyForms();
    SetShellOpener({});
    KalendoApplication::SetErrorReporter({});
    Clock::setFixedNow(QDateTime());
    SetDataFolder(QString());
    m_data.reset();
}

void tst_MainMenu::captions_data() {
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QStringList>("items"); // "-" for a separator
    QTest::newRow("File1") << QStringLiteral("ファイル(&F)")
                           << QStringList{"検索(&F)...",
                                          "-",
                                          "iCalendar形式で書き出し(&E)...",
                                          "iCalendar形式で読み込み(&I)...",
                                          "今すぐ同期(&Y)",
                                          "-",
                                          "印刷(&P)...",
                                          "PDFに書き出し(&D)...",
                                          "-",
                                          "終了(&X)"};
    QTest::newRow("Setting") << QStringLiteral("設定(&S)")
                             << QStringList{
                                    "記念日(&A)",   "-", "休日(&H)", "-",
                                    "イベント(&E)", "-", "通知(&N)", "同期 (CalDAV)(&C)..."};
    QTest::newRow("Help1") << QStringLiteral("ヘルプ(&H)")
                           << QStringList{"操作手順書(&M)", "著作権者ホームページ(&H)", "-",
                                          "バージョン情報(&A)"};
}

void tst_MainMenu::captions() {
    QFETCH(QString, menu);
    QFETCH(QStringList, items);
    auto* found = MainForm->findChild<QMenu*>(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(found);
    QCOMPARE(found->title(), menu);
    QStringList got;
    for (const QAction* action : found->actions())
        got << (action->isSeparator() ? QStringLiteral("-") : action->text());
    QCOMPARE(got, items);
}

void tst_MainMenu::listsRefreshTheMonthOnOkOnly_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<Row>("row");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("kind");
    QTest::newRow("anniversaries")
        << QStringLiteral("menuAnivasary") << AnniversaryFileName << QStringLiteral("記念日設定")
        << Row{"2012/03/30", sj("結婚記念日")} << sj("2012/03/30,結婚記念日,")
        << int(akAnniversary);
    QTest::newRow("holidays") << QStringLiteral("menuHoliday") << HolidayFileName
                              << QStringLiteral("休日設定") << Row{"03/30", sj("休業日"), "0", "0"}
                              << sj("03/30,休業日,0,0") << int(akHoliday);
    QTest::newRow("events") << QStringLiteral("menuEvent") << EventFileName
                            << QStringLiteral("イベント設定") << Row{"03/30", sj("棚卸"), "0", "0"}
                            << sj("03/30,棚卸,0,0") << int(akEvent);
}

void tst_MainMenu::listsRefreshTheMonthOnOkOnly() {
    QFETCH(QString, action);
    QFETCH(QString, file);
    QFETCH(QString, caption);
    QFETCH(Row, row);
    QFETCH(QByteArray, line);
    QFETCH(int, kind);
    auto* menuItem = MainForm->findChild<QAction*>(action);
    QVERIFY(menuItem);
    ListForm* list = action == QStringLiteral("menuAnivasary")
                         ? static_cast<ListForm*>(AnniversaryForm)
                         : static_cast<ListForm*>(ComWeeksForm);
    MainForm->move(40, 60);

    // Cancel: the file changes behind the list's back, yet the month is not rebuilt.
    QString seenCaption;
    QPoint seenPos;
    whenModal(list, [&] {
        seenCaption = list->windowTitle();
        seenPos = list->pos();
        m_data->write(file, line + "\r\n");
        list->btnCancelClick();
    });
    menuItem->trigger();
    QCOMPARE(seenCaption, caption);
    QCOMPARE(seenPos, MainForm->pos());
    QVERIFY(!MainForm->Tables().hasAnnotation(kind, 2025, 3, 30));

    // OK: the list writes its file and the month view follows at once.
    m_data->write(file, QByteArray());
    whenModal(list, [&] {
        list->list()->grid().setRow(1, row);
        list->list()->refresh();
        list->btnOkClick();
    });
    menuItem->trigger();
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(QLatin1Char('\n'))));
    QCOMPARE(m_data->read(file), line + "\r\n");
    QVERIFY(MainForm->Tables().hasAnnotation(kind, 2025, 3, 30));
    QCOMPARE(MainForm->DayToSelect(), 7); // the refill selects today again
}

void tst_MainMenu::manualAndHomePage() {
    MainForm->menuManual->trigger();
    MainForm->menuHomePage->trigger();
    QCOMPARE(m_opened.size(), 2);
    QVERIFY(m_opened.at(0).startsWith(QStringLiteral("file:///")));
    QVERIFY(m_opened.at(0).endsWith(QStringLiteral("/操作手順書.pdf")));
    QCOMPARE(m_opened.at(1), HomePageAddress);
    QVERIFY(m_errors.isEmpty()); // nothing of our own, found or not
}

void tst_MainMenu::manualNotOpenedSaysWhereItIs_data() {
    QTest::addColumn<QByteArray>("browser"); // what xdg-open may hand the manual to
    QTest::addColumn<QString>("message");    // the first line shown, empty for none
    QTest::newRow("no program for PDF files")
        << QByteArray(":") << QStringLiteral("操作手順書を開くプログラムが見つかりませんでした。");
    QTest::newRow("a program took it") << QByteArray("true") << QString();
}

// The real xdg-open on a desktop it does not know, without a display: it offers the manual to
// the mailcap entries (none here) and to $BROWSER only.
void tst_MainMenu::manualNotOpenedSaysWhereItIs() {
    QFETCH(QByteArray, browser);
    QFETCH(QString, message);
    QTemporaryDir folder;
    const QString mailcap = folder.filePath(QStringLiteral("mailcap"));
    QVERIFY(QFile(mailcap).open(QIODevice::WriteOnly));
    const QList<QPair<const char*, QByteArray>> desktop = {{"XDG_CURRENT_DESKTOP", "X-Generic"},
                                                           {"DISPLAY", {}},
                                                           {"WAYLAND_DISPLAY", {}},
                                                           {"MAILCAPS", mailcap.toLocal8Bit()},
                                                           {"BROWSER", browser}};
    QList<QPair<const char*, std::optional<QByteArray>>> saved;
    for (const auto& [name, value] : desktop) {
        saved.append(
            {name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt});
        value.isNull() ? qunsetenv(name) : qputenv(name, value);
    }
    const auto restore = qScopeGuard([&] {
        for (const auto& [name, value] : saved)
            value ? qputenv(name, *value) : qunsetenv(name);
    });
    SetShellOpener({});
    QString shown;
    QTimer closer;
    closer.setInterval(5);
    connect(&closer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = box->text();
            box->accept();
        }
    });
    closer.start();

    MainForm->menuManual->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(DocumentsBeingOpened(), 0, 30000);
    const QStringList lines = shown.split(QLatin1Char('\n'));
    QCOMPARE(lines.first(), message);
    if (!message.isEmpty()) // the last line is where the manual is, for opening it another way
        QVERIFY2(lines.last().endsWith(QStringLiteral("/操作手順書.pdf")) &&
                     QFileInfo(lines.last()).isFile(),
                 qPrintable(shown));
    QVERIFY(m_errors.isEmpty());
}

void tst_MainMenu::aboutRefreshesNothing() {
    whenModal(AboutForm, [&] {
        m_data->write(EventFileName, sj("03/30,棚卸,0,0\r\n"));
        AboutForm->OKButton->click();
    });
    MainForm->menuAbout->trigger();
    QVERIFY(!AboutForm->isVisible());
    QVERIFY(!MainForm->Tables().hasAnnotation(akEvent, 2025, 3, 30));
}

QTEST_MAIN(tst_MainMenu)
#include "tst_mainmenu.moc"
