#pragma once

#include <QAbstractButton>

namespace Utils::Controls {

// A small button drawn as a window-caption glyph (close, maximise or restore) in the style of
// the desktop. The owner chooses the glyph and handles the click.
class CButtonSystem final : public QAbstractButton
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CButtonSystem)

public:
    enum class Glyph
    {
        Close,
        Maximise,
        Restore
    };

    explicit CButtonSystem(Glyph glyph, QWidget* parent = nullptr);

    void SetGlyph(Glyph glyph);
    Glyph CurrentGlyph() const { return glyph_; }
    QSize sizeHint() const override { return QSize(16, 16); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Glyph glyph_;
};

} // namespace Utils::Controls
