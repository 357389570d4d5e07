#pragma once

#include <QAccessible>
#include <QStringList>
#include <QWidget>

// A window as a screen reader meets it: the accessible tree that the desktop's
// accessibility bus serves, and the way Tab walks through the controls.
namespace nuv::test {

// The focusable, visible nodes of the accessible tree under `root` that have no name,
// each as "object name (role)". Web content counts too: its nodes are in the tree.
inline QStringList UnnamedFocusableNodes(QWidget* root) {
    QStringList unnamed;
    const auto walk = [&unnamed](const auto& self, QAccessibleInterface* node, int depth) -> void {
        if (!node || !node->isValid() || depth > 64) return;
        const QAccessible::State state = node->state();
        if (state.focusable && !state.invisible && !state.offscreen &&
            node->text(QAccessible::Name).trimmed().isEmpty()) {
            const QObject* object = node->object();
            unnamed << QStringLiteral("%1 (role %2)")
                           .arg(object ? object->objectName() : QStringLiteral("?"))
                           .arg(static_cast<int>(node->role()));
        }
        for (int i = 0; i < node->childCount(); ++i) self(self, node->child(i), depth + 1);
    };
    walk(walk, QAccessible::queryAccessibleInterface(root), 0);
    return unnamed;
}

// The nearest widget at or above `w` that has an object name: the web view for the
// browser's inner widgets.
inline QWidget* NamedAncestor(QWidget* w) {
    while (w && w->objectName().isEmpty()) w = w->parentWidget();
    return w;
}

// The names of the controls that Tab visits after `first`, in the window's focus chain,
// up to `first` again: the visible, enabled widgets that take the focus by Tab. A web
// view counts once (the links of its page follow inside it).
inline QStringList TabOrder(QWidget* first) {
    QStringList order{first->objectName()};
    QWidget* window = first->window();
    for (QWidget* w = first->nextInFocusChain(); w && w != first && order.size() < 200; w = w->nextInFocusChain()) {
        if (w->window() != window || !w->isVisible() || !w->isEnabled() || w->focusProxy() ||
            !(w->focusPolicy() & Qt::TabFocus))
            continue;
        const QWidget* named = NamedAncestor(w);
        const QString name = named ? named->objectName() : QStringLiteral("?");
        if (order.back() != name) order << name;
    }
    return order;
}

}  // namespace nuv::test
