#pragma once

#include <QAbstractButton>
#include <QVariantAnimation>

// The large start button that doubles as the progress bar: its title, and while a run lasts
// the pulsing "Bitte warten!" under it, over a fill that grows with the progress.
class StartButton : public QAbstractButton {
    Q_OBJECT

public:
    explicit StartButton(QWidget* parent = nullptr);

    void setTitle(const QString& title);
    // running: whether a stage runs (the fill shows a sliver then, and the waiting line pulses).
    void setRunState(bool running, double progress);

    // Width of the fill for a label area of width: never beyond it, a sliver while running.
    static double fillWidth(double width, double progress, bool running);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_running = false;
    QVariantAnimation m_progress; // the shown progress follows the real one in 0.2 s
    QVariantAnimation m_waiting;  // opacity of "Bitte warten!"
};
