#include "app/About.h"

#include "app/Artwork.h"
#include "rules/ComType.h"
#include "widgets/UiLook.h"

#include <QBoxLayout>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>

namespace {

QLabel* label(QWidget* parent, const char* name, const QString& text, const QFont& font) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    l->setFont(font);
    return l;
}

} // namespace

TAboutForm::TAboutForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("AboutForm"));
    setWindowTitle(QStringLiteral("バージョン情報"));
    SetFontWhenShown(this, GothicFont(15));
    // The texts keep their places on a page of their own, which scrolls in a window narrowed to a
    // small or scaled screen.
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("page"));
    page->setFixedSize(577, 276);
    auto* scroller = new QScrollArea(this);
    scroller->setFrameShape(QFrame::NoFrame);
    scroller->setFocusPolicy(Qt::NoFocus);
    scroller->setWidget(page);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 8, 10);
    layout->setSpacing(0);
    layout->addWidget(scroller, 1);
    setMinimumSize(200, 120);
    setMaximumSize(577, 319);
    resize(577, 319);

    Panel1 = new QFrame(page);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(2);
    Panel1->setGeometry(8, 8, 561, 265);

    ProgramIcon = new QLabel(Panel1);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setGeometry(16, 16, 32, 32);

    lblAppName = label(Panel1, "lblAppName", QStringLiteral("Kalendo"), CenturyFont(24, true));
    lblAppName->setGeometry(64, 14, 130, 36);
    lblVersion = label(Panel1, "lblVersion", QString(), CenturyFont(19));
    lblVersion->setGeometry(200, 20, 340, 28);

    lblProductName =
        label(Panel1, "lblProductName", QStringLiteral("スケジュール管理ツール【Kalendo】"),
              GothicFont(24, true));
    lblProductName->setGeometry(64, 70, 480, 34);
    SetLegibleTextColor(lblProductName, QPalette::WindowText, QColor(0x00, 0x00, 0xFF));

    pnlCopy = new QFrame(Panel1);
    pnlCopy->setObjectName(QStringLiteral("pnlCopy"));
    pnlCopy->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    pnlCopy->setGeometry(12, 160, 537, 93);

    lblComments =
        label(pnlCopy, "lblComments",
              QStringLiteral("このソフトウェアはフリーソフトウェアです。"),
              MinchoFont(15));
    lblComments->setGeometry(8, 10, 521, 22);
    Label1 = label(pnlCopy, "Label1",
                   QStringLiteral("GNU 一般公衆利用許諾書 バージョン 3 またはそれ以降の条件で"
                                  "再頒布・改変できます。無保証です。"),
                   MinchoFont(15));
    Label1->setGeometry(8, 38, 521, 46);
    for (QLabel* notice : {lblComments, Label1}) {
        notice->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        notice->setWordWrap(true);
        SetLegibleTextColor(notice, QPalette::WindowText, Qt::black);
    }

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setFixedSize(75, 25);
    layout->addWidget(OKButton, 0, Qt::AlignRight);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, [this] { done(1); });
}

void TAboutForm::FormShow() {
    lblVersion->setText(QStringLiteral("Version ") + AppVersion.Text);
}

void TAboutForm::reject() {
    done(2);
}

void TAboutForm::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
    // Centred on the screen the first time only; later showings stay where the user left it.
    // The icon is drawn then too, not at start-up.
    if (!m_placed) {
        m_placed = true;
        setAttribute(Qt::WA_Moved, true);
        ProgramIcon->setPixmap(ProgramIconPixmap(32));
    }
}
