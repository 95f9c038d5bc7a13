#pragma once

#include <QLabel>

namespace Utils::Controls {

// A label with its own text and background colours, or a transparent background.
class CStaticColour final : public QLabel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CStaticColour)

public:
    explicit CStaticColour(QWidget* parent = nullptr);

    void SetTextColour(const QColor& colour);
    void SetBackgroundColour(const QColor& colour);
    void SetTransparent(bool transparent);

    QColor TextColour() const { return textColour_; }
    QColor BackgroundColour() const { return backgroundColour_; }

private:
    void ApplyColours();

    QColor textColour_ = Qt::black;
    QColor backgroundColour_;
    bool transparent_ = false;
};

} // namespace Utils::Controls
