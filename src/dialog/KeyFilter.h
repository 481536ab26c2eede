#pragma once

#include <QObject>

// Discards key presses of Enter and Escape addressed to `window` or any
// widget inside it (the main window and the configuration sheet).
class CEnterEscapeFilter : public QObject {
    Q_OBJECT
public:
    explicit CEnterEscapeFilter(QWidget* window);
    ~CEnterEscapeFilter() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_window;
};
