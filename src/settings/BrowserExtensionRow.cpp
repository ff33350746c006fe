#include "settings/BrowserExtensionRow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

namespace sonavista {

BrowserExtensionRow::BrowserExtensionRow(BrowserExtensionStatus status, QWidget* parent)
    : QWidget(parent), status_(std::move(status)), text_(new QLabel), timer_(new QTimer(this)) {
    setObjectName(QStringLiteral("browserExtensionRow"));
    text_->setObjectName(QStringLiteral("browserExtensionStatus"));
    auto* button = new QPushButton(QStringLiteral("Set Up Extension…"));
    button->setObjectName(QStringLiteral("browserExtensionSetupButton"));
    button->setAutoDefault(false);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 6, 0, 2);
    row->setSpacing(12);
    row->addWidget(text_, 0, Qt::AlignVCenter);
    row->addStretch(1);
    row->addWidget(button, 0, Qt::AlignVCenter);
    connect(button, &QPushButton::clicked, this, [this] {
        if (status_.openSetup) status_.openSetup();
    });
    timer_->setInterval(1000);
    connect(timer_, &QTimer::timeout, this, &BrowserExtensionRow::refresh);
    refresh();
}

void BrowserExtensionRow::refresh() {
    const auto seconds = status_.secondsSinceLastReport ? status_.secondsSinceLastReport() : std::nullopt;
    const auto heldPort = status_.portHeldElsewhere ? status_.portHeldElsewhere() : std::nullopt;
    text_->setText(QString::fromStdString(BrowserExtensionStatus::text(seconds, heldPort)));
}

void BrowserExtensionRow::showEvent(QShowEvent* event) {
    refresh();
    timer_->start();
    QWidget::showEvent(event);
}

void BrowserExtensionRow::hideEvent(QHideEvent* event) {
    timer_->stop();
    QWidget::hideEvent(event);
}

}  // namespace sonavista
