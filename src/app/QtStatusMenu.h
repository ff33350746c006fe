#pragma once

#include "app/StatusMenuView.h"

#include <QObject>
#include <vector>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace sonavista {

// The status icon in the desktop's tray with its menu, mirroring a `StatusMenuModel`. The
// menu is built once from the model's fixed structure; `update` only sets the titles and
// flags that differ from the model shown last, so it stays cheap at 30 refreshes a second.
class QtStatusMenu final : public QObject, public StatusMenuView {
    Q_OBJECT
public:
    explicit QtStatusMenu(StatusMenuActionHandler handler, QObject* parent = nullptr);
    ~QtStatusMenu() override;

    void update(const StatusMenuModel& model) override;

    QMenu* menu() const { return menu_; }
    QSystemTrayIcon* trayIcon() const { return trayIcon_; }

private:
    void build(QMenu* menu, const std::vector<StatusMenuItem>& items);
    // Mirrors `items` onto the actions from `next` on, setting only what differs from `shown`
    // (the same items as shown last; null: unknown).
    void apply(const std::vector<StatusMenuItem>& items, const std::vector<StatusMenuItem>* shown, std::size_t& next);

    StatusMenuActionHandler handler_;
    QMenu* menu_;
    QSystemTrayIcon* trayIcon_;
    // Every action in model order (depth first), to mirror the model by position.
    std::vector<QAction*> actions_;
    StatusMenuModel shown_ = StatusMenuModel::initial();  // what the actions show
};

}  // namespace sonavista
