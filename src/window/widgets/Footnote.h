#pragma once

#include <QString>

class QLabel;

// A hint in footnote size and the secondary text colour.
QLabel* footnote(const QString& text);
