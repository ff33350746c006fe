#pragma once

#include <QStringList>
#include <QWidget>

namespace sonavista {

// A row of mutually exclusive segments, one of them selected. Clicking a segment (or the
// arrow keys) emits `activated` with its index; the selection itself only changes through
// `setCurrentIndex`, so the picker always shows the value its owner holds. A disabled picker
// still shows its selection.
class SegmentedPicker : public QWidget {
    Q_OBJECT
public:
    explicit SegmentedPicker(QStringList segments, QWidget* parent = nullptr);

    int count() const { return static_cast<int>(segments_.size()); }
    int currentIndex() const { return currentIndex_; }
    void setCurrentIndex(int index);
    QString segmentText(int index) const { return segments_.value(index); }
    // The segment's area in widget coordinates.
    QRect segmentRect(int index) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void activated(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    int segmentAt(const QPoint& position) const;

    QStringList segments_;
    int currentIndex_ = -1;
    int pressedIndex_ = -1;
    bool focusVisible_ = false;
};

}  // namespace sonavista
