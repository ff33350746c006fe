#include "settings/OtherPlayersList.h"

#include "playback/MprisPlayerIdentity.h"
#include "settings/SettingsDivider.h"
#include "settings/SettingsSymbol.h"
#include "settings/ToggleSwitch.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

#include <utility>

namespace sonavista {

namespace {

constexpr int rowHeight = 34;
constexpr int iconSize = 20;

QString qs(const std::string& text) { return QString::fromStdString(text); }

bool samePlayers(const std::vector<OtherPlayerSetting>& a, const std::vector<OtherPlayerSetting>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return x.stem == y.stem && x.name == y.name && x.desktopEntry == y.desktopEntry;
    });
}

}  // namespace

OtherPlayersList::OtherPlayersList(std::function<void(const std::string&, bool)> toggled, QWidget* parent)
    : QWidget(parent), toggled_(std::move(toggled)), rows_(new QVBoxLayout(this)) {
    rows_->setContentsMargins(0, 0, 0, 0);
    rows_->setSpacing(4);
    rebuild({});
}

void OtherPlayersList::setPlayers(const std::vector<OtherPlayerSetting>& players) {
    if (!samePlayers(players, shown_) || switches_.empty() != players.empty()) {
        rebuild(players);
    }
    for (const auto& player : players) {
        if (auto found = switches_.find(player.stem); found != switches_.end()) {
            found->second->setChecked(player.enabled);
        }
    }
    shown_ = players;
}

void OtherPlayersList::rebuild(const std::vector<OtherPlayerSetting>& players) {
    while (auto* item = rows_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    switches_.clear();
    if (players.empty()) {
        auto* note = new QLabel(QStringLiteral("Other music players appear here once they have played."));
        note->setObjectName(QStringLiteral("otherPlayersEmpty"));
        note->setWordWrap(true);
        QPalette palette = note->palette();
        QColor secondary = palette.color(QPalette::WindowText);
        secondary.setAlphaF(0.6f);
        palette.setColor(QPalette::WindowText, secondary);
        note->setPalette(palette);
        rows_->addWidget(note);
        return;
    }
    const QColor accent = palette().color(QPalette::Highlight);
    for (std::size_t index = 0; index < players.size(); ++index) {
        const auto& player = players[index];
        const QString raw = qs(otherPlayerRawValue(player.stem));
        auto* rowWidget = new QWidget;
        rowWidget->setMinimumHeight(rowHeight);
        auto* row = new QHBoxLayout(rowWidget);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(12);
        auto* icon = new QLabel;
        icon->setObjectName(QStringLiteral("playerSymbol-") + raw);
        icon->setFixedWidth(24);
        icon->setAlignment(Qt::AlignCenter);
        const QIcon themed = player.desktopEntry.empty() ? QIcon() : QIcon::fromTheme(qs(player.desktopEntry));
        const bool hasThemeIcon = !themed.isNull();
        icon->setProperty("fromIconTheme", hasThemeIcon);
        icon->setPixmap(hasThemeIcon ? themed.pixmap(iconSize, iconSize)
                                     : SettingsSymbol::pixmap("music.note", accent, iconSize, devicePixelRatioF()));
        auto* name = new QLabel(qs(player.name.empty() ? player.stem : player.name));
        auto* toggle = new ToggleSwitch;
        toggle->setObjectName(QStringLiteral("player-") + raw);
        toggle->setAccessibleName(name->text());
        toggle->setChecked(player.enabled);
        connect(toggle, &QAbstractButton::clicked, this, [this, stem = player.stem](bool on) {
            if (toggled_) toggled_(stem, on);
        });
        switches_[player.stem] = toggle;
        row->addWidget(icon, 0, Qt::AlignVCenter);
        row->addWidget(name, 0, Qt::AlignVCenter);
        row->addStretch(1);
        row->addWidget(toggle, 0, Qt::AlignVCenter);
        rows_->addWidget(rowWidget);
        if (index + 1 < players.size()) rows_->addWidget(makeSettingsDivider());
    }
}

}  // namespace sonavista
