#pragma once

#include "widgets/ListForm.h"

class TComWeeksEditForm;

// The rule list, serving the event rules (RuleSet 0, "イベント設定", event.csv) and the holiday
// rules (any other RuleSet, "休日設定", holiday.csv), in date order with a month's weekday rules
// (MM/--) before its fixed dates. The opener sets RuleSet, moves the window onto the main
// window's top-left corner and refreshes on Ok.
class TComWeeksForm : public ListForm {
    Q_OBJECT
public:
    enum Column { DateColumn = 0, TitleColumn = 1, WeekNumberColumn = 2, WeekdayColumn = 3 };

    explicit TComWeeksForm(QWidget* parent = nullptr);

    // 0 event rules, any other value holiday rules; read at every showing.
    int RuleSet = 1;

    // The editor this list opens; the list makes one of its own, a caller may put another.
    TComWeeksEditForm* editForm() const { return m_editForm; }
    void setEditForm(TComWeeksEditForm* editForm);

    void gridComDblClick();

    ListGrid* gridCom;

protected:
    QString filePath() const override;
    void prepareShowing() override;
    void openEditor() override { gridComDblClick(); }
    QWidget* editor() const override;

private:
    TComWeeksEditForm* m_editForm = nullptr;
};
