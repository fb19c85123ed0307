#pragma once

#include <QComboBox>

// A pop-up picker whose closed face shortens a long entry with "…" instead of cutting it off.
class ElidingComboBox : public QComboBox {
    Q_OBJECT

public:
    explicit ElidingComboBox(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
