#pragma once

#include <QAccessible>
#include <QPointer>
#include <QRect>
#include <QWidget>

#include <functional>
#include <vector>

// A part of a widget that screen readers see as an object of its own (a day of the month grid,
// a panel of the status bar). It has no QObject of its own and asks its widget for everything,
// so it stays right whatever the widget shows now.
class AccessiblePart : public QAccessibleInterface {
public:
    explicit AccessiblePart(QWidget* owner) : m_owner(owner) {}

    bool isValid() const override { return !m_owner.isNull(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override;
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override;
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override;

protected:
    QWidget* owner() const { return m_owner.data(); }
    // Where the part lies, in the widget's coordinates.
    virtual QRect partRect() const = 0;

private:
    QPointer<QWidget> m_owner;
};

// The parts of one widget's interface, made when first asked for and registered with the
// toolkit, which hands them out by id; they go with the interface.
class AccessibleParts {
public:
    AccessibleParts(int count, std::function<QAccessibleInterface*(int index)> make)
        : m_ids(size_t(count), 0), m_make(std::move(make)) {}
    ~AccessibleParts();
    AccessibleParts(const AccessibleParts&) = delete;
    AccessibleParts& operator=(const AccessibleParts&) = delete;

    int count() const { return int(m_ids.size()); }
    QAccessibleInterface* at(int index) const;
    int indexOf(const QAccessibleInterface* part) const;
    // Lets the parts go; the next question makes new ones.
    void clear();

private:
    mutable std::vector<QAccessible::Id> m_ids;
    std::function<QAccessibleInterface*(int)> m_make;
};
