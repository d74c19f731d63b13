#pragma once

#include "search/DataSearch.h"

#include <QDialog>
#include <QThreadPool>

#include <atomic>
#include <memory>

class QLabel;
class QLineEdit;
class QTreeWidget;

// The search window: a field, and what matches it in every year, the anniversaries and the rules
// (search/DataSearch.h), by date with the match nearest to today selected. Every key searches
// at once, away from the window's thread so that typing never waits, the nearest files' matches
// shown first; a newer text stops an older search. Enter or a double-click asks the main window
// to show the entry (OpenMatch): the window itself opens nothing.
class TSearchForm : public QDialog {
    Q_OBJECT
public:
    explicit TSearchForm(QWidget* parent = nullptr);
    ~TSearchForm() override;

    QLineEdit* editSearch;
    QTreeWidget* listResults;
    // How many matched. A screen reader hears it as the field's description, which changes
    // with every search while the field has the focus.
    QLabel* lblCount;
    // The files passed over, each named once.
    QLabel* lblStatus;

    const SearchOutcome& Outcome() const { return m_outcome; }

    // Searches the field's text.
    void StartSearch();
    // The current result, shown by the main window.
    void listResultsActivate();
    // Enter in the field: the selected result, once the search of what was typed has filled the
    // list.
    void editSearchReturn();

signals:
    void OpenMatch(const SearchMatch& match);
    // The list holds the results of the text now in the field.
    void ResultsShown();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Fills the list; complete: the whole folder was searched (else the nearest files only), so
    // the count is told and a pending Enter opens the selected match.
    void showOutcome(SearchOutcome outcome, bool complete);

    SearchOutcome m_outcome;
    // Raised by every new search: an older one stops and its results are dropped.
    std::shared_ptr<std::atomic<int>> m_generation = std::make_shared<std::atomic<int>>(0);
    bool m_searching = false;
    bool m_openWhenShown = false;
    // Last: destroyed first, waiting for a search still running.
    QThreadPool m_pool;
};
