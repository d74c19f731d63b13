#include "widgets/AccessiblePart.h"

#include <QWindow>

#include <utility>

QWindow* AccessiblePart::window() const {
    return m_owner ? m_owner->window()->windowHandle() : nullptr;
}

QAccessibleInterface* AccessiblePart::parent() const {
    return QAccessible::queryAccessibleInterface(m_owner.data());
}

QRect AccessiblePart::rect() const {
    if (!m_owner)
        return {};
    const QRect part = partRect();
    return QRect(m_owner->mapToGlobal(part.topLeft()), part.size());
}

AccessibleParts::~AccessibleParts() {
    clear();
}

void AccessibleParts::clear() {
    for (QAccessible::Id& id : m_ids)
        if (id)
            QAccessible::deleteAccessibleInterface(std::exchange(id, 0));
}

QAccessibleInterface* AccessibleParts::at(int index) const {
    if (index < 0 || index >= count())
        return nullptr;
    QAccessible::Id& id = m_ids[size_t(index)];
    if (!id)
        id = QAccessible::registerAccessibleInterface(m_make(index));
    return QAccessible::accessibleInterface(id);
}

int AccessibleParts::indexOf(const QAccessibleInterface* part) const {
    for (size_t i = 0; i < m_ids.size(); ++i)
        if (m_ids[i] && QAccessible::accessibleInterface(m_ids[i]) == part)
            return int(i);
    return -1;
}
