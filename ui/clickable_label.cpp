// SPDX-License-Identifier: GPL-3.0-or-later
#include "clickable_label.h"

#include <QAccessibleWidget>

namespace {

// A ClickableLabel as a screen reader sees it: a link, named by its text,
// whose one action follows it.
class AccessibleLink final : public QAccessibleWidget {
public:
    explicit AccessibleLink(ClickableLabel* label) : QAccessibleWidget(label, QAccessible::Link) {}
    QString text(QAccessible::Text which) const override {
        if (which == QAccessible::Name && widget()->accessibleName().isEmpty())
            return static_cast<const QLabel*>(widget())->text();
        return QAccessibleWidget::text(which);
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& action) override {
        if (action == pressAction())
            emit static_cast<ClickableLabel*>(widget())->clicked();
    }
};

QAccessibleInterface* accessibleLinkFor(const QString& className, QObject* object) {
    if (className == QLatin1String("ClickableLabel") && object->isWidgetType())
        return new AccessibleLink(static_cast<ClickableLabel*>(object));
    return nullptr;
}

} // namespace

ClickableLabel::ClickableLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    static const bool installed = [] {
        QAccessible::installFactory(accessibleLinkFor);
        return true;
    }();
    (void)installed;
}
