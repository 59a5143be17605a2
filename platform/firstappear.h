#pragma once

#include <QObject>

#include <functional>

/**
 * Runs an action the first time a view appears and never again for the life of
 * that view. Watches the view's show events (a QWindow or QWidget); a view that is
 * shown some other way can call appeared() itself.
 */
class FirstAppear : public QObject {
    Q_OBJECT
public:
    FirstAppear(QObject* view, std::function<void()> action);

    Q_INVOKABLE void appeared();
    [[nodiscard]] bool hasAppeared() const { return m_hasAppeared; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void()> m_action;
    bool m_hasAppeared = false;
};
