#include "settings/SwatchGrid.h"

#include "settings/SwatchButton.h"
#include "settings/SwatchGridLayout.h"

#include <QResizeEvent>

#include <cmath>

namespace sonavista {

SwatchGrid::SwatchGrid(WaveColorGroup group, QWidget* parent) : QWidget(parent), group_(group) {
    for (WaveColor preset : presets(group)) {
        auto* swatch = new SwatchButton(preset, this);
        swatch->setObjectName(QStringLiteral("swatch-") + QString::fromUtf8(rawValue(preset).data()));
        connect(swatch, &QAbstractButton::clicked, this, [this, preset] { emit colorChosen(preset); });
        swatches_.push_back(swatch);
    }
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void SwatchGrid::setCurrentColor(WaveColor current) {
    for (SwatchButton* swatch : swatches_) swatch->setCurrent(swatch->preset() == current);
}

int SwatchGrid::cellHeight() const {
    return swatches_.empty() ? 0 : swatches_.front()->sizeHint().height();
}

int SwatchGrid::heightForWidth(int width) const {
    return static_cast<int>(std::ceil(SwatchGridLayout(width, cellHeight(), swatches_.size()).height()));
}

QSize SwatchGrid::sizeHint() const {
    const int width = 4 * static_cast<int>(SwatchGridLayout::minimumColumnWidth) +
                      3 * static_cast<int>(SwatchGridLayout::columnSpacing);
    return {width, heightForWidth(width)};
}

QSize SwatchGrid::minimumSizeHint() const {
    const int width = static_cast<int>(SwatchGridLayout::minimumColumnWidth);
    return {width, heightForWidth(width)};
}

void SwatchGrid::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeSwatches();
}

void SwatchGrid::placeSwatches() {
    const SwatchGridLayout layout(width(), cellHeight(), swatches_.size());
    for (std::size_t index = 0; index < swatches_.size(); ++index) {
        const auto cell = layout.cell(index);
        swatches_[index]->setGeometry(static_cast<int>(std::round(cell.x)), static_cast<int>(std::round(cell.y)),
                                      static_cast<int>(std::floor(cell.width)), static_cast<int>(cell.height));
    }
}

}  // namespace sonavista
