#pragma once

#include "preferences/WaveColor.h"
#include "preferences/WaveColorGroup.h"

#include <QWidget>

#include <vector>

namespace sonavista {

class SwatchButton;

// The presets of one colour group as a grid of swatches with as many columns as fit; emits
// `colorChosen` when a swatch is clicked.
class SwatchGrid : public QWidget {
    Q_OBJECT
public:
    explicit SwatchGrid(WaveColorGroup group, QWidget* parent = nullptr);

    WaveColorGroup group() const { return group_; }
    const std::vector<SwatchButton*>& swatches() const { return swatches_; }
    // Outlines the swatch of `current` (if it belongs to this group) and no other.
    void setCurrentColor(WaveColor current);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void colorChosen(WaveColor preset);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    int cellHeight() const;
    void placeSwatches();

    WaveColorGroup group_;
    std::vector<SwatchButton*> swatches_;
};

}  // namespace sonavista
