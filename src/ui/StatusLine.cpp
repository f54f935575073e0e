#include "ui/StatusLine.h"

#include <QAccessible>
#include <QAccessibleWidget>

namespace {

class AccessibleStatusLine : public QAccessibleWidget
{
public:
    explicit AccessibleStatusLine(QWidget *line)
        : QAccessibleWidget(line, QAccessible::Notification)
    {
    }

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Name)
            return static_cast<const QLabel *>(widget())->text();
        return QAccessibleWidget::text(kind);
    }
};

QAccessibleInterface *accessibleStatusLine(const QString &className, QObject *object)
{
    if (className != QLatin1String("StatusLine") || !object || !object->isWidgetType())
        return nullptr;
    return new AccessibleStatusLine(static_cast<QWidget *>(object));
}

} // namespace

StatusLine::StatusLine(QWidget *parent) : QLabel(parent)
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(accessibleStatusLine);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
}

void StatusLine::say(const QString &text)
{
    setText(text);
    if (text.isEmpty() || m_announcing)
        return;
    m_announcing = true;
    QMetaObject::invokeMethod(this, &StatusLine::announce, Qt::QueuedConnection);
}

void StatusLine::announce()
{
    m_announcing = false;
    if (text().isEmpty())
        return;
    QAccessibleEvent shown(this, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&shown);
}
