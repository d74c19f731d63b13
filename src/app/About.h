#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

// The version information window.
class TAboutForm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutForm(QWidget* parent = nullptr);

    QFrame* Panel1;
    QLabel* ProgramIcon;
    QLabel* lblAppName;
    QLabel* lblVersion;
    QLabel* lblProductName;
    QFrame* pnlCopy;
    QLabel* lblComments;
    QLabel* Label1;
    QPushButton* OKButton;

    // Runs at every showing: the version line from AppVersion.
    void FormShow();
    // Escape closes it with Cancel.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool m_placed = false;
};
