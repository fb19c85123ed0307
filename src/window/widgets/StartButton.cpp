#include "StartButton.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace {

constexpr double cornerRadius = 10;

} // namespace

StartButton::StartButton(QWidget* parent)
    : QAbstractButton(parent) {
    setMinimumSize(240, 70);
    setCursor(Qt::PointingHandCursor);
    m_progress.setDuration(200);
    m_progress.setStartValue(0.0);
    m_progress.setEndValue(0.0);
    connect(&m_progress, &QVariantAnimation::valueChanged, this, [this] { update(); });
    // 0.9 s from dim to bright and 0.9 s back, for as long as the run lasts.
    m_waiting.setDuration(1800);
    m_waiting.setKeyValueAt(0, 0.9);
    m_waiting.setKeyValueAt(0.5, 0.35);
    m_waiting.setKeyValueAt(1, 0.9);
    m_waiting.setEasingCurve(QEasingCurve::InOutQuad);
    m_waiting.setLoopCount(-1);
    connect(&m_waiting, &QVariantAnimation::valueChanged, this, [this] { update(); });
}

void StartButton::setTitle(const QString& title) {
    if (title != text())
        setText(title);
}

void StartButton::setRunState(bool running, double progress) {
    if (running != m_running) {
        m_running = running;
        running ? m_waiting.start() : m_waiting.stop();
    }
    const double shown = m_progress.currentValue().toDouble();
    if (progress != m_progress.endValue().toDouble()) {
        m_progress.stop();
        m_progress.setStartValue(shown);
        m_progress.setEndValue(progress);
        m_progress.start();
    }
    update();
}

double StartButton::fillWidth(double width, double progress, bool running) {
    return std::max(running ? 8.0 : 0.0, std::min(width, width * progress));
}

QSize StartButton::sizeHint() const {
    return {240, 70};
}

void StartButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF area = rect();
    QPainterPath clip;
    clip.addRoundedRect(area, cornerRadius, cornerRadius);
    painter.setClipPath(clip);

    // A running stage keeps the button in its colours although it cannot be pressed.
    QColor accent = palette().color(
        m_running || isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Highlight);
    accent.setAlphaF(0.2);
    painter.fillPath(clip, accent);
    const double fill = fillWidth(area.width(), m_progress.currentValue().toDouble(), m_running);
    if (fill > 0) {
        QPainterPath bar;
        bar.addRoundedRect(QRectF(area.left(), area.top(), fill, area.height()), cornerRadius,
                           cornerRadius);
        accent.setAlphaF(0.45);
        painter.fillPath(bar, accent);
    }

    QFont titleFont = font();
    titleFont.setPointSizeF(22);
    titleFont.setWeight(QFont::DemiBold);
    const QFontMetricsF titleMetrics(titleFont);
    QFont waitFont = font();
    waitFont.setPointSizeF(14);
    const QFontMetricsF waitMetrics(waitFont);
    const double spacing = 4;
    const double height = titleMetrics.height() + (m_running ? spacing + waitMetrics.height() : 0);
    double top = area.center().y() - height / 2;

    painter.setPen(palette().color(isEnabled() || m_running ? QPalette::Active : QPalette::Disabled,
                                   QPalette::ButtonText));
    painter.setFont(titleFont);
    painter.drawText(QRectF(area.left(), top, area.width(), titleMetrics.height()), Qt::AlignCenter,
                     text());
    if (m_running) {
        top += titleMetrics.height() + spacing;
        painter.setOpacity(m_waiting.currentValue().isValid() ? m_waiting.currentValue().toDouble()
                                                              : 0.9);
        painter.setFont(waitFont);
        painter.drawText(QRectF(area.left(), top, area.width(), waitMetrics.height()),
                         Qt::AlignCenter, QStringLiteral("Bitte warten!"));
    }
}
