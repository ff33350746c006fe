#include "app/QtStatusMenu.h"

#include <QAction>
#include <QIcon>
#include <QKeySequence>
#include <QMenu>
#include <QSystemTrayIcon>

namespace sonavista {

QtStatusMenu::QtStatusMenu(StatusMenuActionHandler handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler)), menu_(new QMenu()), trayIcon_(new QSystemTrayIcon(this)) {
    build(menu_, shown_.items());
    std::size_t next = 0;
    apply(shown_.items(), nullptr, next);  // the flags, which building leaves alone
    QIcon icon(QStringLiteral(":/sonavista/tray.svg"));
    icon.setIsMask(true);  // a monochrome glyph the tray may recolour for its theme
    trayIcon_->setIcon(icon);
    trayIcon_->setToolTip(QStringLiteral("Sonavista"));
    trayIcon_->setContextMenu(menu_);
    trayIcon_->show();
}

QtStatusMenu::~QtStatusMenu() {
    trayIcon_->hide();
    delete menu_;
}

void QtStatusMenu::build(QMenu* menu, const std::vector<StatusMenuItem>& items) {
    for (const StatusMenuItem& item : items) {
        if (item.isSeparator) {
            actions_.push_back(menu->addSeparator());
            continue;
        }
        QAction* action = nullptr;
        if (!item.submenu.empty()) {
            auto* submenu = new QMenu(QString::fromStdString(item.title), menu);
            action = submenu->menuAction();
            actions_.push_back(action);
            build(submenu, item.submenu);
            menu->addMenu(submenu);
        } else {
            action = menu->addAction(QString::fromStdString(item.title));
            actions_.push_back(action);
        }
        action->setCheckable(item.checkable);
        if (!item.keyEquivalent.empty()) {
            action->setShortcut(QKeySequence(QStringLiteral("Ctrl+") + QString::fromStdString(item.keyEquivalent).toUpper()));
        }
        if (item.action) {
            const StatusMenuAction command = *item.action;
            const std::string represented = item.data;
            connect(action, &QAction::triggered, this, [this, command, represented] {
                if (handler_) handler_(command, represented);
            });
        }
    }
}

void QtStatusMenu::update(const StatusMenuModel& model) {
    std::size_t next = 0;
    apply(model.items(), &shown_.items(), next);
    shown_ = model;
}

void QtStatusMenu::apply(const std::vector<StatusMenuItem>& items, const std::vector<StatusMenuItem>* shown,
                         std::size_t& next) {
    if (shown && shown->size() != items.size()) shown = nullptr;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (next >= actions_.size()) return;
        const StatusMenuItem& item = items[i];
        const StatusMenuItem* before = shown ? &(*shown)[i] : nullptr;
        QAction* action = actions_[next++];
        if (!item.isSeparator) {
            if (!before || before->title != item.title) action->setText(QString::fromStdString(item.title));
            if (!before || before->enabled != item.enabled) action->setEnabled(item.enabled);
            if (!before || before->hidden != item.hidden) action->setVisible(!item.hidden);
            // Read back, not remembered: Qt toggles a checkable action itself when it is chosen.
            // Set without signals: a check mark shown is not a command chosen.
            if (item.checkable && action->isChecked() != item.checked) {
                const QSignalBlocker blocker(action);
                action->setChecked(item.checked);
            }
        }
        apply(item.submenu, before ? &before->submenu : nullptr, next);
    }
}

}  // namespace sonavista
