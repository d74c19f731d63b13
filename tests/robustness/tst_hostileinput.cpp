#include "ChildProcess.h"
#include "TestSupport.h"
#include "WhenModal.h"
#include "anniversary/Anniversary.h"
#include "anniversary/AnniversaryEdit.h"
#include "app/Forms.h"
#include "app/KalendoApplication.h"
#include "app/Main.h"
#include "app/Splash.h"
#include "data/KalendoError.h"
#include "data/TextFile.h"
#include "exchange/IcsImport.h"
#include "monthview/CalendarGrid.h"
#include "monthview/HintHook.h"
#include "rules/Clock.h"
#include "rules/ComType.h"
#include "rules/DaySchedule.h"
#include "rules/ListFile.h"
#include "rules/YearFileEdit.h"
#include "rules/YearTables.h"
#include "rulesets/ComWeeks.h"
#include "rulesets/ComWeeksEdit.h"
#include "schedule/MainEdit.h"
#include "schedule/MainInput.h"
#include "widgets/Cp932LineEdit.h"
#include "widgets/ListGrid.h"

#include <QAction>
#include <QClipboard>
#include <QDateEdit>
#include <QHelpEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTimer>

#include <sys/resource.h>
#include <sys/stat.h>

// Bad input as a user gives it, and saves that fail, in every list window opened from the main
// window: each gets its message or its defined handling, and no data file loses a line.
class tst_HostileInput : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void editorInputReachesTheFile_data();
    void editorInputReachesTheFile();
    void untouchedFieldsKeepTheirBytes_data();
    void untouchedFieldsKeepTheirBytes();
    void brokenLineStaysInItsList_data();
    void brokenLineStaysInItsList();
    void failedSaveKeepsTheWindow_data();
    void failedSaveKeepsTheWindow();
    void backupFailureIsSaidAfterTheSave_data();
    void backupFailureIsSaidAfterTheSave();
    void unreadableFileOpensNothing_data();
    void unreadableFileOpensNothing();
    void hostileFileInPlace_data();
    void hostileFileInPlace();
    void otherProgramsChangeSurvives_data();
    void otherProgramsChangeSurvives();

private:
    std::unique_ptr<TempDataFolder> m_data;
    QStringList m_errors; // what the general error handler showed
    QStringList m_boxes;  // texts of the message boxes the windows opened themselves
    QTimer m_boxCloser;
};

namespace {

// Import and YearFiles are no windows: the iCalendar import (its preview read the year, then it
// writes) and the year files' change an import or a sync makes (read, change, write).
enum class Window { Schedule, Anniversaries, Holidays, Events, Import, YearFiles };
enum class Field { Title, Place, Memo };
enum class Failure { MissingFolder, FolderInPlace, ReadOnlyFile, ReadOnlyFolder, SizeLimit };
enum class Hostile { Fifo, Device, Huge, Markup, LongField };

QString fileOf(Window w) {
    switch (w) {
    case Window::Schedule:
    case Window::Import:
    case Window::YearFiles:
        return QStringLiteral("2025.csv");
    case Window::Anniversaries:
        return AnniversaryFileName;
    case Window::Holidays:
        return HolidayFileName;
    case Window::Events:
        return EventFileName;
    }
    return {};
}

QDialog* listOf(Window w) {
    switch (w) {
    case Window::Schedule:
        return MainEditForm;
    case Window::Anniversaries:
        return AnniversaryForm;
    default:
        return ComWeeksForm;
    }
}

QDialog* editorOf(Window w) {
    switch (w) {
    case Window::Schedule:
        return MainInputForm;
    case Window::Anniversaries:
        return AnniversaryEditForm;
    default:
        return ComWeeksEditForm;
    }
}

ListGrid* gridOf(Window w) {
    return w == Window::Schedule ? MainEditForm->gridEdit
                                 : static_cast<ListForm*>(listOf(w))->list();
}

QPushButton* button(QWidget* window, const char* name) {
    return window->findChild<QPushButton*>(QLatin1String(name), Qt::FindDirectChildrenOnly);
}

// Opens the window as the user does: the day of today from the month view, the lists from the
// menu. Returns when the window has closed.
void openFromMainWindow(Window w) {
    switch (w) {
    case Window::Schedule:
        Guarded([] { MainForm->gridCalDblClick(); });
        break;
    case Window::Anniversaries:
        MainForm->menuAnivasary->trigger();
        break;
    case Window::Holidays:
        MainForm->menuHoliday->trigger();
        break;
    case Window::Events:
        MainForm->menuEvent->trigger();
        break;
    case Window::Import:
    case Window::YearFiles:
        break;
    }
}

// Runs fn inside the window opened from the main window; ｷｬﾝｾﾙ closes it if fn left it open.
void inWindow(Window w, std::function<void(QDialog*)> fn) {
    QDialog* list = listOf(w);
    whenModal(list, [list, fn] {
        fn(list);
        if (list->isVisible())
            button(list, "btnCancel")->click();
    });
    openFromMainWindow(w);
}

QList<Row> dataRows(const ListGrid* grid) {
    QList<Row> rows;
    for (int r = grid->grid().fixedRows(); r < grid->grid().rowCount(); ++r)
        rows.append(grid->grid().row(r));
    return rows;
}

int rowWith(const ListGrid* grid, int column, const QByteArray& cell) {
    for (int r = grid->grid().fixedRows(); r < grid->grid().rowCount(); ++r)
        if (grid->grid().cell(column, r) == cell)
            return r;
    return -1;
}

void doubleClickRow(ListGrid* grid, int row) {
    grid->setCurrentGridRow(row);
    const int column = grid->isColumnHidden(0) ? 1 : 0;
    const QRect cell =
        grid->visualRect(grid->model()->index(row - grid->grid().fixedRows(), column));
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
}

void typeText(QWidget* w, const QString& text) {
    for (const QChar ch : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(w, &press);
    }
}

void paste(QWidget* w, const QString& text) {
    QGuiApplication::clipboard()->setText(text);
    w->setFocus();
    QTest::keyClick(w, Qt::Key_V, Qt::ControlModifier);
}

// Runs fn once the window is the active modal one, like whenModal(), but stops watching when it
// goes out of scope: a window that must not open leaves no watcher behind for a later showing.
class ModalWatch {
public:
    ModalWatch(QWidget* window, std::function<void()> fn) {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this, window, fn] {
            if (QApplication::activeModalWidget() != window)
                return;
            m_timer.stop();
            fn();
        });
        m_timer.start();
    }

private:
    QTimer m_timer;
};

QStringList sortedLines(const QByteArray& bytes) {
    QStringList lines;
    for (const QByteArray& line : bytes.split('\n'))
        if (!line.isEmpty())
            lines << QString::fromLatin1(line);
    lines.sort();
    return lines;
}

// The identity file a year's save writes beside it is no leftover.
int hiddenAndPlainFiles(const TempDataFolder& dir) {
    QStringList files = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
    files.removeIf([](const QString& name) { return name.endsWith(QLatin1String(".uid.csv")); });
    return int(files.size());
}

// A child may drop to an unprivileged user; it needs the data folder as its own to put things
// right again.
void handOver(const TempDataFolder& dir) {
    if (geteuid() != 0)
        return;
    const QByteArray folder = QFile::encodeName(dir.path());
    [[maybe_unused]] int ignored = chown(folder.constData(), 65534, 65534);
    for (const QString& name : QDir(dir.path()).entryList(QDir::Files | QDir::Hidden))
        ignored = chown(QFile::encodeName(dir.file(name)).constData(), 65534, 65534);
}

} // namespace

Q_DECLARE_METATYPE(Window)
Q_DECLARE_METATYPE(Field)
Q_DECLARE_METATYPE(Failure)
Q_DECLARE_METATYPE(Hostile)

void tst_HostileInput::init() {
    m_data = std::make_unique<TempDataFolder>();
    QVERIFY(m_data->isValid());
    SetDataFolder(m_data->path());
    QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Vantree"),
              QStringLiteral("Kalendo"))
        .clear();
    m_errors.clear();
    m_boxes.clear();
    KalendoApplication::SetErrorReporter([this](const QString& message) { m_errors << message; });
    // The fields' own warning boxes are answered as a user would, whenever one shows.
    m_boxCloser.setInterval(5);
    connect(&m_boxCloser, &QTimer::timeout, this, [this] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            // Text from a file must never be read as markup.
            m_boxes << (box->textFormat() == Qt::PlainText ? QString()
                                                           : QStringLiteral("(markup) ")) +
                           box->text();
            box->accept();
        }
    });
    m_boxCloser.start();
    Clock::setFixedNow(QDateTime(QDate(2025, 3, 7), QTime(9, 0)));
    CreateForms();
    MainForm->show();
    QVERIFY(QTest::qWaitForWindowExposed(MainForm));
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(QLatin1Char('\n'))));
}

void tst_HostileInput::cleanup() {
    m_boxCloser.stop();
    m_boxCloser.disconnect();
    DestroyForms();
    KalendoApplication::SetErrorReporter({});
    Clock::setFixedNow(QDateTime());
    SetDataFolder(QString());
    m_data.reset();
}

void tst_HostileInput::editorInputReachesTheFile_data() {
    QTest::addColumn<Window>("window");
    QTest::addColumn<Field>("field");
    QTest::addColumn<bool>("pasted");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("stored");  // after the text "前" that the field already holds
    QTest::addColumn<QString>("refused"); // the character named in the warning, if any

    const auto u = [](const char* s) { return QString::fromUtf8(s); };
    const QString a60 = QString(60, QChar(0x3042));
    struct Target {
        const char* name;
        Window window;
        Field field;
        int bytes;
        bool commaKept;
    };
    const Target targets[] = {
        {"schedule title", Window::Schedule, Field::Title, 40, true},
        {"schedule place", Window::Schedule, Field::Place, 40, true},
        {"schedule memo", Window::Schedule, Field::Memo, 100, true},
        {"anniversary", Window::Anniversaries, Field::Title, 20, true},
        {"holiday", Window::Holidays, Field::Title, 20, false},
        {"event", Window::Events, Field::Title, 20, false},
    };
    for (const Target& t : targets) {
        const auto row = [&](const char* what) -> QTestData& {
            return QTest::newRow(qPrintable(QLatin1String(t.name) + QLatin1String(": ") +
                                            QLatin1String(what)))
                   << t.window << t.field;
        };
        // The quoted comma must come back as one field; a rule title never holds one.
        row("pasted comma") << true << u("会議,本社")
                            << (t.commaKept ? u("会議,本社") : u("会議本社")) << QString();
        row("typed comma") << false << u("a,b") << u("ab") << QString();
        row("pasted quote and comma")
            << true << u("\"x\",y") << (t.commaKept ? u("\"x\",y") : u("\"x\"y")) << QString();
        row("pasted line break") << true << u("一行目\r\n二行目") << u("一行目二行目") << QString();
        // Cut at a whole character: "前" takes 2 bytes, "x" one more.
        row("over-long paste") << true << QStringLiteral("x") + a60
                               << QStringLiteral("x") + QString((t.bytes - 3) / 2, QChar(0x3042))
                               << QString();
        row("over-long paste of single bytes")
            << true << QString(t.bytes + 5, QLatin1Char('k'))
            << QString(t.bytes - 2, QLatin1Char('k')) << QString();
        row("pasted emoji") << true << u("会議😀") << QString() << u("😀");
        row("typed Hangul") << false << u("한") << QString() << u("한");
        // Input methods and web pages give 〜 as U+301C; code page 932 holds it as ～ U+FF5E.
        row("pasted wave dash") << true << u("10時〜12時") << u("10時～12時") << QString();
        row("typed wave dash") << false << u("10時〜12時") << u("10時～12時") << QString();
        row("typed text with a refused character") << false << u("a한b") << u("ab") << u("한");
        row("half-width kana and NEC signs kept") << true << u("ｶﾅ①") << u("ｶﾅ①") << QString();
    }
}

void tst_HostileInput::editorInputReachesTheFile() {
    QFETCH(Window, window);
    QFETCH(Field, field);
    QFETCH(bool, pasted);
    QFETCH(QString, input);
    QFETCH(QString, stored);
    QFETCH(QString, refused);
    const QString expected = QStringLiteral("前") + stored;

    QString shown;
    inWindow(window, [&](QDialog* list) {
        QDialog* editor = editorOf(window);
        whenModal(editor, [&, editor] {
            Cp932LineEdit* edit = nullptr;
            if (window == Window::Schedule) {
                typeText(MainInputForm->editSchedule, QStringLiteral("予定"));
                edit = field == Field::Title   ? MainInputForm->editSchedule
                       : field == Field::Place ? MainInputForm->editPlace
                                               : MainInputForm->editMemo;
                if (field == Field::Title)
                    edit->clear();
            } else {
                edit = editor->findChild<Cp932LineEdit*>(QStringLiteral("editTitle"));
            }
            edit->setFocus();
            typeText(edit, QStringLiteral("前"));
            if (pasted)
                paste(edit, input);
            else
                typeText(edit, input);
            QTRY_VERIFY(QApplication::activeModalWidget() == editor);
            if (!refused.isEmpty()) {
                QTRY_VERIFY(shownRefusal());
                m_boxes << shownRefusal()->text();
            }
            shown = edit->text();
            button(editor, "btnOk")->click();
        });
        button(list, "btnAddNew")->click();
        button(list, "btnOk")->click();
    });
    QCOMPARE(shown, expected);
    QCOMPARE(m_boxes, refused.isEmpty() ? QStringList()
                                        : QStringList{QStringLiteral("「") + refused +
                                                      QStringLiteral("」は保存できない文字です。"
                                                                     "この文字は使えません。")});
    // The month view was rebuilt from the saved file without a complaint and shows the entry.
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(QLatin1Char('\n'))));
    const int kind = window == Window::Schedule        ? akSchedule
                     : window == Window::Anniversaries ? akAnniversary
                     : window == Window::Holidays      ? akHoliday
                                                       : akEvent;
    QVERIFY(MainForm->Tables().hasAnnotation(kind, 2025, 3, 7));

    // Opened again, the entry reads back as it was shown, one line in the file.
    const int column = window != Window::Schedule ? 1
                       : field == Field::Title    ? ScheduleColumn::Title
                       : field == Field::Place    ? ScheduleColumn::Place
                                                  : ScheduleColumn::Memo;
    QByteArray readBack;
    int rows = 0;
    inWindow(window, [&](QDialog*) {
        const ListGrid* grid = gridOf(window);
        rows = grid->grid().rowCount() - grid->grid().fixedRows();
        readBack = grid->grid().cell(column, grid->grid().fixedRows());
    });
    QCOMPARE(rows, 1);
    QCOMPARE(Codec::toUnicode(readBack), expected);
    QCOMPARE(m_data->read(fileOf(window)).count("\r\n"), 1);
    QVERIFY(!m_data->read(fileOf(window)).contains("\n\r"));
}

void tst_HostileInput::untouchedFieldsKeepTheirBytes_data() {
    QTest::addColumn<Window>("window");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArrayList>("opened"); // titles opened in turn: ｷｬﾝｾﾙ, the last OK
    QTest::addColumn<bool>("edit");             // the last changes another field first
    QTest::addColumn<QByteArray>("expected");   // the file after the list's OK

    // 0x8540 is an unassigned code; 0xA0 and 0xFD..0xFF single bytes that decode to nothing, as
    // does 0x81 without its trail byte.
    const QByteArray unassigned("AB\x85\x40"
                                "CD"),
        nothing("a\xA0"
                "b\xFD\xFE\xFF");
    const auto row = [](const char* name, Window w, const QByteArray& file) -> QTestData& {
        return QTest::newRow(name) << w << file;
    };
    const QByteArray dayPair = "20250307,1,,,AB\x85\x40"
                               "CD,,\r\n20250307,2,,,EF,,\r\n";
    row("day: another entry opened first", Window::Schedule, dayPair)
        << QByteArrayList{"EF", unassigned} << false << dayPair;
    row("day: memo changed", Window::Schedule, "20250307,1,,," + nothing + ",p\x81,m\r\n")
        << QByteArrayList{nothing} << true << "20250307,1,,," + nothing + ",p\x81,mX\r\n";
    const QByteArray odd =
        QByteArray("20250307,1,,,ti") + '\0' + "tle,place,memo\r\n20250307,2,,,T,P,M,extra1,x\r\n";
    row("day: NUL and extra fields, opened and left", Window::Schedule, odd)
        << QByteArrayList{"ti", "T"} << false << odd;
    row("day: LF and mixed line ends", Window::Schedule,
        "20250307,1,,,a,,\n20250308,1,,,c,,\r20250307,2,,,b,,\r\n")
        << QByteArrayList{} << false
        << QByteArray("20250307,1,,,a,,\r\n20250308,1,,,c,,\r\n20250307,2,,,b,,\r\n");
    const QByteArray anniversaries = "2012/03/30,X\x85\x40Y,\r\n2020/01/02,b,\r\n";
    row("anniversaries: another entry opened first", Window::Anniversaries, anniversaries)
        << QByteArrayList{"b", "X\x85\x40Y"} << false << anniversaries;
    row("anniversaries: date changed", Window::Anniversaries, "2012/03/30," + nothing + "\x81,\r\n")
        << QByteArrayList{nothing + "\x81"} << true << "2012/03/31," + nothing + "\x81,\r\n";
    row("anniversaries: LF line ends", Window::Anniversaries, "2012/03/30,a,\n2013/04/01,b,\n")
        << QByteArrayList{} << false << QByteArray("2012/03/30,a,\r\n2013/04/01,b,\r\n");
    const QByteArray holidays = "05/03,X\x85\x40Y,0,0\r\n01/01,Z,0,0\r\n";
    row("holidays: another entry opened first", Window::Holidays, holidays)
        << QByteArrayList{"Z", "X\x85\x40Y"} << false << holidays;
    row("holidays: LF line ends", Window::Holidays, "01/01,a,0,0\n02/11,b,0,0\n01/--,c,2,1\n")
        << QByteArrayList{} << false << QByteArray("01/--,c,2,1\r\n01/01,a,0,0\r\n02/11,b,0,0\r\n");
    row("events: date changed", Window::Events, "05/03," + nothing + ",0,0\r\n")
        << QByteArrayList{nothing} << true << "05/04," + nothing + ",0,0\r\n";
    // Blanks typed by hand inside unquoted fields belong to the fields, as the month's hint
    // shows them; a save of the edited row quotes them.
    row("day: blanks inside fields, memo changed", Window::Schedule,
        sj("20250307,1,10:00,11:00,Zoom 会議,A社 3階,資料 持参\r\n"))
        << QByteArrayList{sj("Zoom 会議")} << true
        << sj("20250307,1,10:00,11:00,\"Zoom 会議\",\"A社 3階\",\"資料 持参X\"\r\n");
    row("anniversaries: blanks inside the title, date changed", Window::Anniversaries,
        "2012/03/30,Taro birthday party,\r\n")
        << QByteArrayList{"Taro birthday party"} << true
        << QByteArray("2012/03/31,\"Taro birthday party\",\r\n");
    row("holidays: blanks inside the title, date changed", Window::Holidays,
        "12/08,Company Day,0,0\r\n")
        << QByteArrayList{"Company Day"} << true << QByteArray("12/09,\"Company Day\",0,0\r\n");
}

void tst_HostileInput::untouchedFieldsKeepTheirBytes() {
    QFETCH(Window, window);
    QFETCH(QByteArray, file);
    QFETCH(QByteArrayList, opened);
    QFETCH(bool, edit);
    QFETCH(QByteArray, expected);
    m_data->write(fileOf(window), file);
    const bool day = window == Window::Schedule;
    QString shown;
    inWindow(window, [&](QDialog* list) {
        ListGrid* grid = gridOf(window);
        QDialog* editor = editorOf(window);
        for (qsizetype i = 0; i < opened.size(); ++i) {
            const bool last = i + 1 == opened.size();
            whenModal(editor, [&, editor, last] {
                shown =
                    editor->findChild<Cp932LineEdit*>(day ? "editSchedule" : "editTitle")->text();
                if (last && edit && day) {
                    MainInputForm->editMemo->end(false);
                    typeText(MainInputForm->editMemo, QStringLiteral("X"));
                } else if (last && edit) {
                    auto* date = editor->findChild<QDateEdit*>();
                    date->setDate(date->date().addDays(1));
                }
                button(editor, last ? "btnOk" : "btnCancel")->click();
            });
            doubleClickRow(grid, rowWith(grid, day ? ScheduleColumn::Title : 1, opened.at(i)));
        }
        button(list, "btnOk")->click();
    });
    // The editor showed the entry it opened, and only what the user changed changed.
    if (!opened.isEmpty())
        QCOMPARE(shown, Codec::toUnicode(opened.last()));
    QCOMPARE(sortedLines(m_data->read(fileOf(window))), sortedLines(expected));
}

void tst_HostileInput::brokenLineStaysInItsList_data() {
    QTest::addColumn<Window>("window");
    QTest::addColumn<QByteArray>("good");   // a line the user then edits
    QTest::addColumn<QByteArray>("broken"); // written back byte for byte
    QTest::addColumn<QString>("message");   // on double-clicking it; empty: it opens
    QTest::addColumn<QByteArray>("edited"); // the good line after its title became "直"

    const QByteArray rule = sj("05/03,憲法記念日,0,0"), ruleEdited = sj("05/03,直,0,0");
    for (Window w : {Window::Holidays, Window::Events}) {
        const char* set = w == Window::Holidays ? "holidays: " : "events: ";
        const auto row = [&](const char* what) -> QTestData& {
            return QTest::newRow(qPrintable(QLatin1String(set) + QLatin1String(what))) << w << rule;
        };
        row("month not a number") << QByteArray("ab/--,X,1,1")
                                  << QStringLiteral("'ab' は整数ではありません") << ruleEdited;
        row("week number out of range") << QByteArray("05/--,X,9,1")
                                        << QStringLiteral("'9' は整数ではありません") << ruleEdited;
        row("weekday not a number")
            << sj("05/--,X,2,日") << QStringLiteral("'日' は整数ではありません") << ruleEdited;
        row("month 13") << QByteArray("13/01,X,0,0")
                        << QStringLiteral("'13/01' は日付ではありません") << ruleEdited;
        row("30 February") << QByteArray("02/30,X,0,0")
                           << QStringLiteral("'02/30' は日付ではありません") << ruleEdited;
        row("no date") << QByteArray(",X,0,0") << QStringLiteral("' ' は整数ではありません")
                       << ruleEdited;
        row("quoted comma in the title")
            << QByteArray("06/01,\"a,b\",0,0") << QString() << ruleEdited;
        row("only commas") << QByteArray(",,,") << QStringLiteral("' ' は整数ではありません")
                           << ruleEdited;
        // Not a new entry: cancelling one would delete the user's line.
        row("no comma") << sj("休業日") << QStringLiteral("'' は整数ではありません") << ruleEdited;
    }
    const QByteArray day = sj("2012/03/30,結婚記念日,"), dayEdited = sj("2012/03/30,直,");
    const auto row = [&](const char* what) -> QTestData& {
        return QTest::newRow(qPrintable(QLatin1String("anniversaries: ") + QLatin1String(what)))
               << Window::Anniversaries << day;
    };
    row("month 13") << sj("2012/13/45,変,") << QStringLiteral("'2012/13/45' は日付ではありません")
                    << dayEdited;
    row("no year") << sj("03/30,変,") << QStringLiteral("'03/30' は日付ではありません")
                   << dayEdited;
    row("no date") << sj(",変,") << QStringLiteral("' ' は日付ではありません") << dayEdited;
    row("no final comma") << sj("2011/01/02,古い形式") << QString() << dayEdited;
    row("only commas") << QByteArray(",,") << QStringLiteral("' ' は日付ではありません")
                       << dayEdited;
}

void tst_HostileInput::brokenLineStaysInItsList() {
    QFETCH(Window, window);
    QFETCH(QByteArray, good);
    QFETCH(QByteArray, broken);
    QFETCH(QString, message);
    QFETCH(QByteArray, edited);
    const QByteArray before = good + "\r\n" + broken + "\r\n";
    m_data->write(fileOf(window), before);

    Row brokenRow(window == Window::Anniversaries ? 2 : 4);
    CommaLineToRow(broken + ',', brokenRow);
    bool shows = false, editorOpened = false;
    QStringList errorsOnDoubleClick;
    // Unchanged, both lines go back as they were.
    inWindow(window, [&](QDialog* list) {
        ListGrid* grid = gridOf(window);
        shows = dataRows(grid).contains(brokenRow);
        const int at = rowWith(grid, 0, brokenRow.at(0));
        if (!message.isEmpty() && at > 0) {
            QDialog* editor = editorOf(window);
            const ModalWatch watch(editor, [&, editor] {
                editorOpened = true;
                button(editor, "btnCancel")->click();
            });
            doubleClickRow(grid, at);
            errorsOnDoubleClick = m_errors;
            m_errors.clear();
        }
        button(list, "btnOk")->click();
    });
    QVERIFY(shows);
    if (!message.isEmpty()) {
        QCOMPARE(errorsOnDoubleClick, QStringList{message});
        QVERIFY(!editorOpened);
    }
    // In the list's order, each line as it was; an anniversary line without the comma after
    // its title gets it, or the month would never show it.
    const QByteArray brokenAfter =
        window == Window::Anniversaries && broken.count(',') < 2 ? broken + ',' : broken;
    QCOMPARE(sortedLines(m_data->read(fileOf(window))),
             sortedLines(good + "\r\n" + brokenAfter + "\r\n"));
    // The month view reports what keeps it from reading the file, once, and carries on.
    QStringList rebuild;
    try {
        YearTables tables;
        BuildYearTables(tables, 2025, m_data->path());
    } catch (const KalendoError& e) {
        rebuild << e.message();
    }
    QCOMPARE(m_errors, rebuild);
    // Month steps that meet the same line of the same file say nothing more.
    MainForm->btnNext->click();
    MainForm->btnPrev->click();
    QCOMPARE(m_errors, rebuild);
    QVERIFY(MainForm->isVisible());
    QCOMPARE(MainForm->editMonth->text(), QStringLiteral("3"));
    m_errors.clear();

    // The other entry stays editable; the broken line is not touched.
    inWindow(window, [&](QDialog* list) {
        ListGrid* grid = gridOf(window);
        Row goodRow(brokenRow.size());
        CommaLineToRow(good + ',', goodRow);
        const int at = rowWith(grid, 1, goodRow.at(1));
        QVERIFY(at > 0);
        QDialog* editor = editorOf(window);
        whenModal(editor, [editor] {
            auto* title = editor->findChild<Cp932LineEdit*>(QStringLiteral("editTitle"));
            title->setText(QStringLiteral("直"));
            button(editor, "btnOk")->click();
        });
        doubleClickRow(grid, at);
        button(list, "btnOk")->click();
    });
    QCOMPARE(sortedLines(m_data->read(fileOf(window))),
             sortedLines(edited + "\r\n" + brokenAfter + "\r\n"));
    QCOMPARE(m_errors, rebuild);
}

void tst_HostileInput::failedSaveKeepsTheWindow_data() {
    QTest::addColumn<Window>("window");
    QTest::addColumn<Failure>("failure");
    QTest::addColumn<QString>("message");
    const struct {
        const char* name;
        Failure failure;
        QString message;
    } failures[] = {
        {"data folder missing", Failure::MissingFolder, QStringLiteral("不正なファイル名です")},
        {"folder in place of the file", Failure::FolderInPlace, QStringLiteral("I/O エラー (21)")},
        {"read-only file", Failure::ReadOnlyFile,
         QStringLiteral("ファイルへのアクセスが拒否されました")},
        {"read-only folder", Failure::ReadOnlyFolder,
         QStringLiteral("ファイルへのアクセスが拒否されました")},
        {"disk full (file size limit)", Failure::SizeLimit,
         QStringLiteral("ディスクがいっぱいです")},
    };
    const struct {
        const char* name;
        Window window;
    } windows[] = {{"day schedule", Window::Schedule},
                   {"anniversaries", Window::Anniversaries},
                   {"holidays", Window::Holidays},
                   {"events", Window::Events}};
    for (const auto& w : windows)
        for (const auto& f : failures)
            QTest::newRow(
                qPrintable(QLatin1String(w.name) + QLatin1String(", ") + QLatin1String(f.name)))
                << w.window << f.failure << f.message;
}

void tst_HostileInput::failedSaveKeepsTheWindow() {
    QFETCH(Window, window);
    QFETCH(Failure, failure);
    QFETCH(QString, message);
    // The list shows `gone` first; deleting it makes the save worth doing.
    QByteArray gone, kept;
    switch (window) {
    case Window::Schedule:
        gone = sj("20250307,1,,,会議,本社,");
        kept = sj("20250101,1,,,元日の予定,,");
        break;
    case Window::Anniversaries:
        gone = sj("2020/03/07,創立記念日,");
        kept = sj("2012/03/30,結婚記念日,");
        break;
    default:
        gone = sj("01/01,元日,0,0");
        kept = sj("05/03,憲法記念日,0,0");
        break;
    }
    const QString name = fileOf(window);
    const QByteArray before =
        window == Window::Schedule ? kept + "\r\n" + gone + "\r\n" : gone + "\r\n" + kept + "\r\n";
    m_data->write(name, before);
    const int files = hiddenAndPlainFiles(*m_data);
    handOver(*m_data);
    const QByteArray path = QFile::encodeName(m_data->file(name));
    const QByteArray away = path + ".away";
    const QByteArray folder = QFile::encodeName(m_data->path());

    QByteArray report;
    inWindow(window, [&](QDialog* list) {
        button(list, "btnDelete")->click();
        report = runInChild([&]() -> QByteArray {
            if (!dropPrivileges())
                return "could not drop privileges";
            const QList<Row> rows = dataRows(gridOf(window));
            rlimit limit{};
            getrlimit(RLIMIT_FSIZE, &limit);
            switch (failure) {
            case Failure::MissingFolder:
                SetDataFolder(m_data->path() + QStringLiteral("missing/"));
                break;
            case Failure::FolderInPlace:
                rename(path.constData(), away.constData());
                mkdir(path.constData(), 0755);
                break;
            case Failure::ReadOnlyFile:
                chmod(path.constData(), 0444);
                break;
            case Failure::ReadOnlyFolder:
                chmod(folder.constData(), 0555);
                break;
            case Failure::SizeLimit: {
                rlimit small = limit;
                small.rlim_cur = 16;
                setrlimit(RLIMIT_FSIZE, &small);
                break;
            }
            }
            m_errors.clear();
            QTest::mouseClick(button(list, "btnOk"), Qt::LeftButton);
            QByteArray out = m_errors.join(QLatin1Char('/')).toUtf8();
            out += list->isVisible() ? "|open" : "|closed";
            out += "|result " + QByteArray::number(list->result());
            out += dataRows(gridOf(window)) == rows ? "|rows kept" : "|rows changed";

            // The cause removed, the same OK succeeds.
            switch (failure) {
            case Failure::MissingFolder:
                SetDataFolder(m_data->path());
                break;
            case Failure::FolderInPlace:
                rmdir(path.constData());
                rename(away.constData(), path.constData());
                break;
            case Failure::ReadOnlyFile:
                chmod(path.constData(), 0644);
                break;
            case Failure::ReadOnlyFolder:
                chmod(folder.constData(), 0755);
                break;
            case Failure::SizeLimit:
                setrlimit(RLIMIT_FSIZE, &limit);
                break;
            }
            out += m_data->read(name) == before ? "|file kept" : "|file changed";
            out += hiddenAndPlainFiles(*m_data) == files ? "|nothing left" : "|leftovers";
            m_errors.clear();
            QTest::mouseClick(button(list, "btnOk"), Qt::LeftButton);
            out += '|' + m_errors.join(QLatin1Char('/')).toUtf8();
            out += list->isVisible() ? "|open" : "|closed";
            out += "|result " + QByteArray::number(list->result());
            return out;
        });
    });
    const QString failedPath = failure == Failure::MissingFolder
                                   ? m_data->path() + QStringLiteral("missing/") + name
                                   : m_data->file(name);
    QCOMPARE(QString::fromUtf8(report),
             message + QLatin1Char('\n') + failedPath +
                 QStringLiteral("|open|result 0|rows kept|file kept|nothing left||closed|"
                                "result 1"));
    QCOMPARE(m_data->read(name), kept + "\r\n");
    QCOMPARE(hiddenAndPlainFiles(*m_data), files);
}

void tst_HostileInput::backupFailureIsSaidAfterTheSave_data() {
    QTest::addColumn<Window>("window");
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("day schedule") << Window::Schedule << sj("20250307,1,,,会議,本社,");
    QTest::newRow("anniversaries") << Window::Anniversaries << sj("2020/03/07,創立記念日,");
}

// backup/ taken by a file: the save still happens, and the user hears that no copy was kept.
// The rule lists save through the same base as the anniversary list.
void tst_HostileInput::backupFailureIsSaidAfterTheSave() {
    QFETCH(Window, window);
    QFETCH(QByteArray, line);
    m_data->write(fileOf(window), line + "\r\n");
    m_data->write(QStringLiteral("backup"), "not a folder");
    inWindow(window, [](QDialog* list) {
        button(list, "btnDelete")->click();
        button(list, "btnOk")->click();
    });
    QCOMPARE(m_data->read(fileOf(window)), QByteArray());
    QCOMPARE(listOf(window)->result(), 1);
    QCOMPARE(m_errors.size(), 1);
    QVERIFY2(m_errors.at(0).startsWith(QStringLiteral("保存しましたが")),
             qPrintable(m_errors.at(0)));
}

void tst_HostileInput::unreadableFileOpensNothing_data() {
    QTest::addColumn<Window>("window");
    QTest::addColumn<bool>("permissions"); // else a folder stands where the file should be
    QTest::addColumn<QString>("message");
    const QString denied = QStringLiteral("ファイルへのアクセスが拒否されました");
    const QString folder = QStringLiteral("I/O エラー (21)");
    QTest::newRow("day schedule, no permission") << Window::Schedule << true << denied;
    QTest::newRow("day schedule, folder") << Window::Schedule << false << folder;
    QTest::newRow("anniversaries, no permission") << Window::Anniversaries << true << denied;
    QTest::newRow("anniversaries, folder") << Window::Anniversaries << false << folder;
    QTest::newRow("holidays, no permission") << Window::Holidays << true << denied;
    QTest::newRow("holidays, folder") << Window::Holidays << false << folder;
    QTest::newRow("events, no permission") << Window::Events << true << denied;
}

void tst_HostileInput::unreadableFileOpensNothing() {
    QFETCH(Window, window);
    QFETCH(bool, permissions);
    QFETCH(QString, message);
    const QString name = fileOf(window);
    const QByteArray before = window == Window::Schedule        ? sj("20250307,1,,,会議,,\r\n")
                              : window == Window::Anniversaries ? sj("2012/03/30,結婚記念日,\r\n")
                                                                : sj("05/03,憲法記念日,0,0\r\n");
    m_data->write(name, before);
    handOver(*m_data);
    const QByteArray path = QFile::encodeName(m_data->file(name));
    const QByteArray away = path + ".away";
    // An earlier showing leaves rows in the list that an OK now must not write over the file,
    // which has grown since.
    if (window != Window::Schedule)
        inWindow(window, [](QDialog*) {});
    QVERIFY(m_errors.isEmpty());
    const QByteArray now =
        before + (window == Window::Schedule        ? sj("20250308,1,,,後から,,\r\n")
                  : window == Window::Anniversaries ? sj("2030/01/01,後から,\r\n")
                                                    : sj("12/24,後から,0,0\r\n"));
    QFile grown(m_data->file(name));
    QVERIFY(grown.open(QIODevice::Append));
    grown.write(now.mid(before.size()));
    grown.close();

    const QByteArray report = runInChild([&]() -> QByteArray {
        if (!dropPrivileges())
            return "could not drop privileges";
        if (permissions) {
            chmod(path.constData(), 0200); // may be written, not read
        } else {
            rename(path.constData(), away.constData());
            mkdir(path.constData(), 0755);
        }
        // A user who finds the window open anyway presses OK, once.
        QDialog* list = listOf(window);
        bool pressed = false;
        QTimer pressOk;
        pressOk.setInterval(1);
        connect(&pressOk, &QTimer::timeout, [&] {
            if (pressed || QApplication::activeModalWidget() != list)
                return;
            pressed = true;
            QTest::mouseClick(button(list, "btnOk"), Qt::LeftButton);
            if (list->isVisible())
                button(list, "btnCancel")->click();
        });
        pressOk.start();
        m_errors.clear();
        openFromMainWindow(window);
        pressOk.stop();
        QByteArray out = m_errors.join(QLatin1Char('/')).toUtf8();
        out += list->isVisible() ? "|open" : "|closed";
        if (window != Window::Schedule) {
            out += "|result " + QByteArray::number(list->result());
            // Even an OK that comes before the window has closed writes nothing.
            m_errors.clear();
            list->show();
            QTest::mouseClick(button(list, "btnOk"), Qt::LeftButton);
            out += "|at once: result " + QByteArray::number(list->result());
            QTest::qWait(10);
        }
        // Readable again, the window opens with the file's rows.
        if (permissions) {
            chmod(path.constData(), 0644);
        } else {
            rmdir(path.constData());
            rename(away.constData(), path.constData());
        }
        out += m_data->read(name) == now ? "|file kept" : "|file changed";
        int rows = 0;
        m_errors.clear();
        inWindow(window, [&](QDialog*) { rows = int(dataRows(gridOf(window)).size()); });
        out += '|' + m_errors.join(QLatin1Char('/')).toUtf8();
        out += "|rows " + QByteArray::number(rows);
        return out;
    });
    const QString result =
        window == Window::Schedule ? QString() : QStringLiteral("|result 2|at once: result 2");
    QCOMPARE(QString::fromUtf8(report), message + QLatin1Char('\n') + m_data->file(name) +
                                            QStringLiteral("|closed") + result +
                                            QStringLiteral("|file kept||rows ") +
                                            QString::number(window == Window::Schedule ? 1 : 2));
    QVERIFY(MainForm->isVisible());
}

void tst_HostileInput::hostileFileInPlace_data() {
    QTest::addColumn<Window>("window");
    QTest::addColumn<Hostile>("hostile");
    // What the message boxes said at start and on opening the window from the main window,
    // and the hint of today; <file> stands for the file's path.
    QTest::addColumn<QString>("seen");
    const QString refusedAtStart = QStringLiteral("start: %1\n<file>|hint: none|open: %1\n<file>");
    const QString special =
        refusedAtStart.arg(QStringLiteral("通常のファイルではないため読み込めません"));
    QTest::newRow("holiday rules, pipe") << Window::Holidays << Hostile::Fifo << special;
    QTest::newRow("schedule, pipe") << Window::Schedule << Hostile::Fifo << special;
    QTest::newRow("anniversaries, link to a device")
        << Window::Anniversaries << Hostile::Device << special;
    QTest::newRow("event rules, huge file")
        << Window::Events << Hostile::Huge
        << refusedAtStart.arg(
               QStringLiteral("ファイルが大きすぎるため読み込めません（上限 512 MB）"));
    // Shown as it is: a box reading markup would be marked "(markup)".
    QTest::newRow("anniversaries, markup cell")
        << Window::Anniversaries << Hostile::Markup
        << QStringLiteral("start: |hint: none|open: |longest cell 84|edit: '<h1>データ破損</h1><a "
                          "href=\"http://example.invalid/fix\">ここをクリック</a><img "
                          "src=\"/tmp/x.png\">' は日付ではありません");
    // Lines of hints and messages and the text of cells are cut to 256 characters.
    const QString x(254, QLatin1Char('x'));
    const QChar more(0x2026);
    QTest::newRow("schedule, long field") << Window::Schedule << Hostile::LongField
                                          << QStringLiteral("start: |hint: 会議") + x + more +
                                                 QStringLiteral("|open: |longest cell 257|edit: ");
    QTest::newRow("holiday rules, long field")
        << Window::Holidays << Hostile::LongField
        << QStringLiteral("start: 'x' は整数ではありません\n<file> の 1 行目|hint: none|open: "
                          "|longest cell 257|edit: 'x") +
               x + more;
}

void tst_HostileInput::hostileFileInPlace() {
    QFETCH(Window, window);
    QFETCH(Hostile, hostile);
    QFETCH(QString, seen);
    const QString path = m_data->file(fileOf(window));
    const QByteArray native = QFile::encodeName(path);
    const QByteArray longText(3 << 20, 'x');
    switch (hostile) {
    case Hostile::Fifo:
        QCOMPARE(mkfifo(native.constData(), 0644), 0);
        break;
    case Hostile::Device:
        QCOMPARE(symlink("/dev/zero", native.constData()), 0);
        break;
    case Hostile::Huge: // sparse: no disk space taken
        m_data->write(fileOf(window), {});
        QCOMPARE(truncate(native.constData(), MaxTextFileBytes + 1), 0);
        break;
    case Hostile::Markup:
        m_data->write(
            AnniversaryFileName,
            sj("\"<h1>データ破損</h1><a href=\"\"http://example.invalid/fix\"\">ここをクリ"
               "ック</a><img src=\"\"/tmp/x.png\"\">\",記念日,\r\n"));
        break;
    case Hostile::LongField:
        m_data->write(fileOf(window),
                      window == Window::Schedule
                          ? QByteArray("20250307,1,,," + sj("会議") + ",," + longText + "\r\n")
                          : QByteArray("03/07," + sj("祝日") + ',' + longText + ",0\r\n"));
        break;
    }
    const QByteArray before = hostile == Hostile::LongField || hostile == Hostile::Markup
                                  ? m_data->read(fileOf(window))
                                  : QByteArray();
    // In a child, so that one that hangs is stopped (and the test fails).
    const QByteArray report = runInChild([&]() -> QByteArray {
        alarm(60);
        KalendoApplication::SetErrorReporter({}); // the program's own message box
        DestroyForms();
        m_boxes.clear();
        CreateForms();
        MainForm->show();
        if (!QTest::qWaitForWindowExposed(MainForm))
            return "main window not shown";
        QString out = QStringLiteral("start: ") + m_boxes.join(QLatin1Char('/'));
        out += SplashForm->isVisible() ? QStringLiteral("|splash") : QString();

        TCalendarGrid* grid = MainForm->gridCal;
        for (int c = 0; c < 7; ++c)
            for (int r = 1; r < MonthGrid::RowCount; ++r)
                if (grid->Cells().dayAt(c, r) == 7) {
                    const QPoint at = grid->CellRect(c, r).center();
                    QHelpEvent event(QEvent::ToolTip, at, grid->mapToGlobal(at));
                    QCoreApplication::sendEvent(grid, &event);
                }
        THintHook* hook = MainForm->HintHook();
        out += QStringLiteral("|hint: ") +
               (hook->HintShowing() ? hook->HintWindow()->text() : QStringLiteral("none"));

        m_boxes.clear();
        QString shown;
        const ModalWatch look(listOf(window), [&] {
            ListGrid* list = gridOf(window);
            qsizetype longest = 0;
            for (int c = 0; c < list->grid().columnCount(); ++c)
                for (int r = list->grid().fixedRows(); r < list->grid().rowCount(); ++r)
                    longest = std::max(longest, list->cellAt(c, r).text.size());
            shown += QStringLiteral("|longest cell %1").arg(longest);
            // Nothing is drawn past the last column.
            const QImage image = list->viewport()->grab().toImage();
            const int last = list->grid().columnCount() - 1;
            const int right = list->columnViewportPosition(last) + list->columnWidth(last) + 1;
            const int y = list->rowViewportPosition(0) + list->rowHeight(0) / 2;
            for (int x = right; x < image.width(); ++x)
                if (image.pixelColor(x, y) == Qt::black) {
                    shown += QStringLiteral("|drawn past the cell");
                    break;
                }
            // The entry opened for editing, as a double-click does.
            QDialog* editor = editorOf(window);
            const ModalWatch cancel(editor, [editor] { button(editor, "btnCancel")->click(); });
            doubleClickRow(list, list->grid().fixedRows());
            shown += QStringLiteral("|edit: ") + m_boxes.join(QLatin1Char('/'));
            button(listOf(window), "btnCancel")->click();
        });
        openFromMainWindow(window);
        out +=
            QStringLiteral("|open: ") + (shown.isEmpty() ? m_boxes.join(QLatin1Char('/')) : shown);
        return out.toUtf8();
    });
    QCOMPARE(QString::fromUtf8(report), QString(seen).replace(QStringLiteral("<file>"), path));
    // The thing in the file's place is left as it was.
    struct stat st {};
    QCOMPARE(lstat(native.constData(), &st), 0);
    QCOMPARE(int(st.st_mode & S_IFMT), hostile == Hostile::Fifo     ? int(S_IFIFO)
                                       : hostile == Hostile::Device ? int(S_IFLNK)
                                                                    : int(S_IFREG));
    if (!before.isEmpty())
        QCOMPARE(m_data->read(fileOf(window)), before);
}

void tst_HostileInput::otherProgramsChangeSurvives_data() {
    // While the list is open, the user edits the entry titled "A" and another process writes
    // the file (or removes it: other empty); then OK. Both sides' lines must be in the file;
    // where both changed the same line, the list first shows both and says so, and the next
    // OK saves them.
    QTest::addColumn<Window>("window");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("other");
    QTest::addColumn<bool>("conflict");
    QTest::addColumn<QByteArray>("expected");
    struct Kind {
        const char* name;
        Window window;
        QByteArray a, aEdited, b, c;
        QByteArray aTheirs; // A as the other program changed it
    };
    const Kind kinds[] = {
        {"day", Window::Schedule, "20250307,1,10:00,11:00,A,P,M", "20250307,1,10:00,11:00,A,P,MX",
         "20250308,1,09:00,10:00,B,Q,N", "20250307,2,12:00,13:00,C,R,O",
         "20250307,1,10:00,11:00,A,P,M2"},
        {"anniversaries", Window::Anniversaries, "2012/03/30,A,", "2012/03/31,A,", "2013/04/01,B,",
         "2014/05/05,C,", "2012/03/30,A2,"},
        {"holidays", Window::Holidays, "05/03,A,0,0", "05/04,A,0,0", "01/01,B,0,0", "02/11,C,0,0",
         "05/03,A2,0,0"},
        {"events", Window::Events, "05/03,A,0,0", "05/04,A,0,0", "01/01,B,0,0", "02/11,C,0,0",
         "05/03,A2,0,0"},
    };
    // A QByteArray: a deduced string builder would refer to the joined lines once they are gone.
    const auto file = [](const QByteArrayList& lines) -> QByteArray {
        return lines.join("\r\n") + "\r\n";
    };
    for (const Kind& k : kinds) {
        const auto row = [&](const char* what) -> QTestData& {
            return QTest::newRow(qPrintable(QLatin1String(k.name) + QLatin1String(": ") +
                                            QLatin1String(what)))
                   << k.window << file({k.a, k.b});
        };
        // For the day, C is another entry of the same day.
        row("a line appended") << file({k.a, k.b, k.c}) << false << file({k.aEdited, k.b, k.c});
        row("another line changed")
            << file({k.a, k.b + "2"}) << false << file({k.aEdited, k.b + "2"});
        row("the same line changed")
            << file({k.aTheirs, k.b}) << true << file({k.aEdited, k.aTheirs, k.b});
        row("file removed") << QByteArray() << false << file({k.aEdited, k.b});
    }
    // Their own entry (I by the import, J by the change) is added while another program writes
    // the year.
    const QByteArray a = "20250307,1,10:00,11:00,A,P,M";
    const QByteArray b = "20250308,1,09:00,10:00,B,Q,N";
    const QByteArray c = "20250307,2,12:00,13:00,C,R,O";
    const QByteArray i = "20250309,1,09:00,,I,,";
    const QByteArray j = "20250309,1,09:00,10:00,J,Q,N";
    QTest::newRow("import: a line appended after the preview")
        << Window::Import << file({a, b}) << file({a, b, c}) << false << file({a, b, c, i});
    QTest::newRow("year files: a line appended between read and write")
        << Window::YearFiles << file({a, b}) << file({a, b, c}) << false << file({a, b, c, j});
    QTest::newRow("year files: the day's line changed between read and write")
        << Window::YearFiles << file({a, b}) << file({a + "2", b}) << false
        << file({a + "2", b, j});
}

void tst_HostileInput::otherProgramsChangeSurvives() {
    QFETCH(Window, window);
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, other);
    QFETCH(bool, conflict);
    QFETCH(QByteArray, expected);
    const QString name = fileOf(window);
    const QString path = m_data->file(name);
    m_data->write(name, file);
    const auto otherWrites = [&] {
        return runInChild([&] {
            if (other.isEmpty())
                return QByteArray(QFile::remove(path) ? "ok" : "not removed");
            QFile f(path);
            const bool ok = f.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                            f.write(other) == other.size();
            return QByteArray(ok ? "ok" : "not written");
        });
    };
    if (window == Window::Import || window == Window::YearFiles) {
        QByteArray written;
        QStringList messages;
        if (window == Window::Import) {
            const QByteArray ics = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//k//k//EN\r\n"
                                   "BEGIN:VEVENT\r\nUID:i1\r\nDTSTAMP:20250101T000000Z\r\n"
                                   "DTSTART:20250309T090000\r\nSUMMARY:I\r\nEND:VEVENT\r\n"
                                   "END:VCALENDAR\r\n";
            const IcsImportPlan plan =
                PlanIcsImport(ics, m_data->path(), {2025, 2025, "Asia/Tokyo"});
            written = otherWrites();
            messages = ApplyIcsImport(plan, m_data->path());
        } else {
            // The other program writes once the year has been read for the change.
            messages = EditYearFiles(m_data->path(), {2025}, [&](int, YearRows& year) {
                if (written.isEmpty())
                    written = otherWrites();
                year.rows << LineRow("20250309,1,09:00,10:00,J,Q,N", ScheduleColumn::Count);
            });
        }
        QCOMPARE(written, QByteArray("ok"));
        QCOMPARE(messages, QStringList());
        QCOMPARE(sortedLines(m_data->read(name)), sortedLines(expected));
        return;
    }
    const bool day = window == Window::Schedule;
    qsizetype shownAfterFirstOk = 0;
    bool openAfterFirstOk = false;
    QByteArray written;
    inWindow(window, [&](QDialog* list) {
        ListGrid* grid = gridOf(window);
        QDialog* editor = editorOf(window);
        whenModal(editor, [&, editor] {
            if (day) {
                MainInputForm->editMemo->end(false);
                typeText(MainInputForm->editMemo, QStringLiteral("X"));
            } else {
                auto* date = editor->findChild<QDateEdit*>();
                date->setDate(date->date().addDays(1));
            }
            button(editor, "btnOk")->click();
        });
        doubleClickRow(grid, rowWith(grid, day ? ScheduleColumn::Title : 1, "A"));
        written = otherWrites();
        button(list, "btnOk")->click();
        openAfterFirstOk = list->isVisible();
        shownAfterFirstOk = dataRows(grid).size();
        if (openAfterFirstOk)
            button(list, "btnOk")->click();
    });
    QCOMPARE(written, QByteArray("ok"));
    QCOMPARE(openAfterFirstOk, conflict);
    QCOMPARE(sortedLines(m_data->read(name)), sortedLines(expected));
    // A conflict or a removed file is said; a merge of other lines needs no word.
    QCOMPARE(m_errors.size(), conflict || other.isEmpty() ? 1 : 0);
    // Both versions of A were shown (and B, where the list holds it).
    if (conflict)
        QCOMPARE(shownAfterFirstOk, day ? 2 : 3);
}

int main(int argc, char** argv) {
    KalendoApplication app(argc, argv);
    tst_HostileInput test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_hostileinput.moc"
