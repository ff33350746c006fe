#include "settings/SettingsView.h"

#include "settings/BrowserExtensionRow.h"
#include "settings/OtherPlayersList.h"
#include "settings/SegmentedPicker.h"
#include "settings/SettingsDivider.h"
#include "settings/SettingsSymbol.h"
#include "settings/SwatchGrid.h"
#include "settings/ToggleSwitch.h"
#include "settings/VersionText.h"

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QWindow>

namespace sonavista {
namespace {

constexpr int pageMargin = 28;
constexpr int pageSpacing = 22;
constexpr int sectionSpacing = 14;
constexpr int playerRowHeight = 34;
constexpr int pickerLabelWidth = 104;

QString qs(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QFont headlineFont(const QFont& base) {
    QFont font = base;
    font.setWeight(QFont::DemiBold);
    if (font.pointSizeF() > 0) font.setPointSizeF(font.pointSizeF() * 1.1);
    return font;
}

QFont captionFont(const QFont& base) {
    QFont font = base;
    if (font.pointSizeF() > 0) font.setPointSizeF(font.pointSizeF() * 0.9);
    return font;
}

int indexOf(OverlayDisplayMode mode) {
    for (std::size_t index = 0; index < allOverlayDisplayModes.size(); ++index) {
        if (allOverlayDisplayModes[index] == mode) return static_cast<int>(index);
    }
    return -1;
}

int indexOf(OverlayPosition position) {
    for (std::size_t index = 0; index < allOverlayPositions.size(); ++index) {
        if (allOverlayPositions[index] == position) return static_cast<int>(index);
    }
    return -1;
}

// The application's own icon where one is set, else our waveform symbol on an accent tile.
QPixmap applicationIcon(const QColor& accent, int size, qreal ratio) {
    const QIcon icon = QApplication::windowIcon();
    if (!icon.isNull()) return icon.pixmap(QSize(size, size), ratio);

    QPixmap tile(QSize(size, size) * ratio);
    tile.setDevicePixelRatio(ratio);
    tile.fill(Qt::transparent);
    QPainter painter(&tile);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fill(0, 0, 0, size);
    fill.setColorAt(0, accent.lighter(125));
    fill.setColorAt(1, accent.darker(115));
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(QRectF(1, 1, size - 2, size - 2), size * 0.22, size * 0.22);
    const int glyph = size * 62 / 100;
    painter.drawPixmap(QPointF((size - glyph) / 2.0, (size - glyph) / 2.0),
                       SettingsSymbol::pixmap("waveform", Qt::white, glyph, ratio));
    return tile;
}

}  // namespace

SettingsView::SettingsView(std::shared_ptr<OverlayPreferences> preferences,
                           std::shared_ptr<VisualizerModel> visualizerModel, SettingsActions actions,
                           bool launchAtLoginEnabled, QWidget* parent)
    : QWidget(parent),
      preferences_(std::move(preferences)),
      visualizerModel_(std::move(visualizerModel)),
      actions_(std::move(actions)),
      launchAtLoginEnabled_(launchAtLoginEnabled) {
    setMinimumSize(560, 430);

    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("settingsTabs"));
    tabs_->setDocumentMode(false);
    tabs_->tabBar()->setExpanding(false);
    tabs_->setIconSize(QSize(16, 16));
    tabs_->setStyleSheet(QStringLiteral("QTabWidget::tab-bar { alignment: center; }"));
    QColor tabIconColor = palette().color(QPalette::WindowText);
    tabIconColor.setAlphaF(0.78f);
    for (SettingsTab tab : allSettingsTabs) {
        QWidget* page = nullptr;
        switch (tab) {
            case SettingsTab::display: page = makeDisplayTab(); break;
            case SettingsTab::players: page = makePlayersTab(); break;
            case SettingsTab::audio: page = makeAudioTab(); break;
            case SettingsTab::general: page = makeGeneralTab(); break;
        }
        tabs_->addTab(page, SettingsSymbol::icon(settingsTabSymbolName(tab), tabIconColor, 16),
                      qs(settingsTabTitle(tab)));
    }
    setSelectedTab(initialSettingsTab);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    // Above the tabs, so it is read whichever tab the window opens on.
    noticeLabel_ = new QLabel;
    noticeLabel_->setObjectName(QStringLiteral("launchNotice"));
    noticeLabel_->setWordWrap(true);
    noticeLabel_->hide();
    layout->addWidget(noticeLabel_);
    layout->addWidget(tabs_);
    settingsFileLabel_ = new QLabel(this);
    settingsFileLabel_->setObjectName(QStringLiteral("settingsFileLabel"));
    settingsFileLabel_->setWordWrap(true);
    settingsFileLabel_->setVisible(false);
    layout->addWidget(settingsFileLabel_);

    if (preferences_) {
        // Preferences notify after storing, so the new values can be read at once.
        preferencesToken_ = preferences_->addObserver([this](OverlayPreferences::Property) { refresh(); });
    }
    if (visualizerModel_) {
        modelToken_ = visualizerModel_->addObserver([this](VisualizerModel::Property property) {
            if (property == VisualizerModel::Property::captureStatus ||
                property == VisualizerModel::Property::audioLevel ||
                property == VisualizerModel::Property::listeningTo) {
                if (audioRowShown()) scheduleAudioStatusRefresh();
            }
        });
    }
    refresh();
}

SettingsView::~SettingsView() {
    if (preferences_) preferences_->removeObserver(preferencesToken_);
    if (visualizerModel_) visualizerModel_->removeObserver(modelToken_);
}

SettingsTab SettingsView::selectedTab() const {
    const int index = tabs_->currentIndex();
    return index >= 0 && index < static_cast<int>(allSettingsTabs.size()) ? allSettingsTabs[index] : initialSettingsTab;
}

void SettingsView::setSelectedTab(SettingsTab tab) {
    for (std::size_t index = 0; index < allSettingsTabs.size(); ++index) {
        if (allSettingsTabs[index] == tab) tabs_->setCurrentIndex(static_cast<int>(index));
    }
}

QSize SettingsView::sizeHint() const {
    return {620, 470};
}

QColor SettingsView::secondaryColor() const {
    QColor color = palette().color(QPalette::WindowText);
    color.setAlphaF(0.6f);
    return color;
}

QWidget* SettingsView::makeTabPage(const std::vector<QWidget*>& sections) {
    auto* scroll = new QScrollArea;
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // A slim scroll bar with a rounded handle in the text colour, lighter than the style's.
    QColor handle = palette().color(QPalette::WindowText);
    handle.setAlphaF(0.28f);
    QColor handleHover = handle;
    handleHover.setAlphaF(0.45f);
    scroll->verticalScrollBar()->setStyleSheet(
        QStringLiteral("QScrollBar:vertical { background: transparent; width: 10px; margin: 3px 2px 3px 0; }"
                       "QScrollBar::handle:vertical { background: %1; border-radius: 4px; min-height: 32px; }"
                       "QScrollBar::handle:vertical:hover { background: %2; }"
                       "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
                       "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }")
            .arg(handle.name(QColor::HexArgb), handleHover.name(QColor::HexArgb)));

    auto* content = new QWidget;
    auto* stack = new QVBoxLayout(content);
    stack->setContentsMargins(pageMargin, pageMargin, pageMargin, pageMargin);
    stack->setSpacing(pageSpacing);
    for (std::size_t index = 0; index < sections.size(); ++index) {
        if (index > 0) stack->addWidget(makeSettingsDivider(content));
        stack->addWidget(sections[index]);
    }
    stack->addStretch(1);
    scroll->setWidget(content);
    // The page shows the window background rather than a white viewport.
    scroll->viewport()->setAutoFillBackground(false);
    content->setAutoFillBackground(false);
    return scroll;
}

QWidget* SettingsView::makeSection(const QString& title, QLayout* content) {
    auto* section = new QWidget;
    auto* stack = new QVBoxLayout(section);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(sectionSpacing);
    auto* heading = new QLabel(title, section);
    heading->setFont(headlineFont(font()));
    stack->addWidget(heading);
    stack->addLayout(content);
    return section;
}

ToggleSwitch* SettingsView::addSwitchRow(QVBoxLayout* layout, const QString& text, const QString& name) {
    auto* row = new QHBoxLayout;
    row->setSpacing(12);
    auto* label = new QLabel(text);
    auto* toggle = new ToggleSwitch;
    toggle->setObjectName(name);
    toggle->setAccessibleName(text);
    label->setBuddy(toggle);
    row->addWidget(label, 1);
    row->addWidget(toggle, 0, Qt::AlignVCenter);
    layout->addLayout(row);
    return toggle;
}

void SettingsView::showNotice(const QString& text) {
    noticeLabel_->setText(text);
    noticeLabel_->setVisible(!text.isEmpty());
}

QWidget* SettingsView::makeDisplayTab() {
    auto* display = new QVBoxLayout;
    display->setSpacing(10);
    overlayEnabledSwitch_ = addSwitchRow(display, QStringLiteral("Show Waveform"), QStringLiteral("overlayEnabledSwitch"));
    autoShowSwitch_ = addSwitchRow(display, QStringLiteral("Show Automatically with Music Players"),
                                   QStringLiteral("autoShowSwitch"));
    avoidsCoveringWindowsSwitch_ =
        addSwitchRow(display, QStringLiteral("Keep on Desktop Layer (Behind Apps and Widgets)"),
                     QStringLiteral("avoidsCoveringWindowsSwitch"));
    connect(overlayEnabledSwitch_, &QAbstractButton::clicked, this, [this](bool on) {
        perform(actions_.setOverlayEnabled, on);
    });
    connect(autoShowSwitch_, &QAbstractButton::clicked, this, [this](bool on) {
        perform(actions_.setAutoShow, on);
    });
    connect(avoidsCoveringWindowsSwitch_, &QAbstractButton::clicked, this, [this](bool on) {
        perform(actions_.setAvoidsCoveringWindows, on);
    });

    auto* appearance = new QVBoxLayout;
    appearance->setSpacing(12);
    auto addPickerRow = [appearance](const QString& text, SegmentedPicker* picker) {
        auto* row = new QHBoxLayout;
        row->setSpacing(12);
        auto* label = new QLabel(text);
        label->setFixedWidth(pickerLabelWidth);
        label->setBuddy(picker);
        row->addWidget(label);
        row->addWidget(picker, 1);
        appearance->addLayout(row);
        return label;
    };
    displayModePicker_ = new SegmentedPicker({QStringLiteral("Standard Waveform"), QStringLiteral("Fullscreen Fog")});
    displayModePicker_->setObjectName(QStringLiteral("displayModePicker"));
    displayModePicker_->setAccessibleName(QStringLiteral("Display Mode"));
    addPickerRow(QStringLiteral("Display Mode"), displayModePicker_);
    positionPicker_ = new SegmentedPicker({QStringLiteral("Top"), QStringLiteral("Center"), QStringLiteral("Bottom")});
    positionPicker_->setObjectName(QStringLiteral("positionPicker"));
    positionPicker_->setAccessibleName(QStringLiteral("Position"));
    positionLabel_ = addPickerRow(QStringLiteral("Position"), positionPicker_);
    connect(displayModePicker_, &SegmentedPicker::activated, this, [this](int index) {
        perform(actions_.setDisplayMode, allOverlayDisplayModes.at(static_cast<std::size_t>(index)));
    });
    connect(positionPicker_, &SegmentedPicker::activated, this, [this](int index) {
        perform(actions_.setPosition, allOverlayPositions.at(static_cast<std::size_t>(index)));
    });

    for (WaveColorGroup group : allWaveColorGroups) {
        auto* palettePicker = new QVBoxLayout;
        palettePicker->setSpacing(8);
        auto* caption = new QLabel(qs(title(group)));
        caption->setFont(captionFont(font()));
        QPalette captionPalette = caption->palette();
        captionPalette.setColor(QPalette::WindowText, secondaryColor());
        caption->setPalette(captionPalette);
        auto* grid = new SwatchGrid(group);
        connect(grid, &SwatchGrid::colorChosen, this, [this](WaveColor preset) {
            perform(actions_.setColor, preset);
        });
        swatchGrids_.push_back(grid);
        palettePicker->addSpacing(4);
        palettePicker->addWidget(caption);
        palettePicker->addWidget(grid);
        appearance->addLayout(palettePicker);
    }

    return makeTabPage({makeSection(QStringLiteral("Display"), display),
                        makeSection(QStringLiteral("Appearance"), appearance)});
}

void SettingsView::addPlayerRows(QVBoxLayout* layout, const std::vector<MusicPlayer>& players) {
    const QColor accent = palette().color(QPalette::Highlight);
    for (std::size_t index = 0; index < players.size(); ++index) {
        const MusicPlayer player = players[index];
        auto* rowWidget = new QWidget;
        rowWidget->setMinimumHeight(playerRowHeight);
        auto* row = new QHBoxLayout(rowWidget);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(12);
        auto* symbol = new QLabel;
        symbol->setObjectName(QStringLiteral("playerSymbol-") + qs(rawValue(player)));
        symbol->setProperty("symbolName", qs(symbolName(player)));
        symbol->setFixedWidth(24);
        symbol->setAlignment(Qt::AlignCenter);
        symbol->setPixmap(SettingsSymbol::pixmap(symbolName(player), accent, 20, devicePixelRatioF()));
        auto* name = new QLabel(qs(displayName(player)));
        auto* toggle = new ToggleSwitch;
        toggle->setObjectName(QStringLiteral("player-") + qs(rawValue(player)));
        toggle->setAccessibleName(qs(displayName(player)));
        connect(toggle, &QAbstractButton::clicked, this, [this, player](bool on) {
            perform(actions_.setPlayerEnabled, player, on);
        });
        playerSwitches_[player] = toggle;
        row->addWidget(symbol, 0, Qt::AlignVCenter);
        row->addWidget(name, 0, Qt::AlignVCenter);
        row->addStretch(1);
        row->addWidget(toggle, 0, Qt::AlignVCenter);
        layout->addWidget(rowWidget);
        if (index + 1 < players.size()) layout->addWidget(makeSettingsDivider(rowWidget->parentWidget()));
    }
}

QWidget* SettingsView::makePlayersTab() {
    auto* desktop = new QVBoxLayout;
    desktop->setSpacing(4);
    addPlayerRows(desktop, SettingsViewState::desktopPlayers());
    auto* browser = new QVBoxLayout;
    browser->setSpacing(4);
    addPlayerRows(browser, SettingsViewState::browserPlayers());
    browserPlayers_ = browser;
    return makeTabPage({makeSection(QStringLiteral("Desktop Players"), desktop),
                        makeSection(QStringLiteral("Browser Players"), browser), makeOtherPlayersSection()});
}

QWidget* SettingsView::makeOtherPlayersSection() {
    otherPlayersList_ = new OtherPlayersList([this](const std::string& stem, bool on) {
        perform(actions_.setOtherPlayerEnabled, stem, on);
    });
    auto* rows = new QVBoxLayout;
    rows->addWidget(otherPlayersList_);
    return makeSection(QStringLiteral("Other Players"), rows);
}

void SettingsView::showBrowserExtensionStatus(BrowserExtensionStatus status) {
    if (!browserPlayers_ || findChild<BrowserExtensionRow*>()) return;
    browserPlayers_->addWidget(new BrowserExtensionRow(std::move(status)));
}

QWidget* SettingsView::makeAudioTab() {
    auto* response = new QVBoxLayout;
    response->setSpacing(10);
    audioResponsiveSwitch_ = addSwitchRow(response, QStringLiteral("React to Volume and Rhythm"),
                                          QStringLiteral("audioResponsiveSwitch"));
    connect(audioResponsiveSwitch_, &QAbstractButton::clicked, this, [this](bool on) {
        perform(actions_.setAudioResponsive, on);
    });
    auto* status = new QHBoxLayout;
    status->setContentsMargins(0, 4, 0, 4);
    status->setSpacing(10);
    audioStatusSymbol_ = new QLabel;
    audioStatusSymbol_->setObjectName(QStringLiteral("audioStatusSymbol"));
    audioStatusSymbol_->setFixedWidth(18);
    audioStatusSymbol_->setAlignment(Qt::AlignCenter);
    audioStatusText_ = new QLabel;
    audioStatusText_->setObjectName(QStringLiteral("audioStatusText"));
    status->addWidget(audioStatusSymbol_, 0, Qt::AlignVCenter);
    status->addWidget(audioStatusText_, 0, Qt::AlignVCenter);
    status->addStretch(1);
    response->addLayout(status);
    listeningLabel_ = new QLabel;
    listeningLabel_->setObjectName(QStringLiteral("listeningLabel"));
    QPalette listeningPalette = listeningLabel_->palette();
    listeningPalette.setColor(QPalette::WindowText, secondaryColor());
    listeningLabel_->setPalette(listeningPalette);
    response->addWidget(listeningLabel_);
    playingPlayerOnlySwitch_ = addSwitchRow(response, QStringLiteral("Visualize only the playing player"),
                                            QStringLiteral("playingPlayerOnlySwitch"));
    connect(playingPlayerOnlySwitch_, &QAbstractButton::clicked, this, [this](bool on) {
        perform(actions_.setVisualizesPlayingPlayerOnly, on);
    });
    auto* offsetRow = new QHBoxLayout;
    offsetRow->setSpacing(12);
    auto* offsetLabel = new QLabel(QStringLiteral("Speaker Delay Correction"));
    audioDelayOffsetBox_ = new QSpinBox;
    audioDelayOffsetBox_->setObjectName(QStringLiteral("audioDelayOffsetBox"));
    audioDelayOffsetBox_->setRange(OverlayPreferences::minimumAudioDelayOffset, OverlayPreferences::maximumAudioDelayOffset);
    audioDelayOffsetBox_->setSingleStep(10);
    audioDelayOffsetBox_->setSuffix(QStringLiteral(" ms"));
    audioDelayOffsetBox_->setKeyboardTracking(false);
    audioDelayOffsetBox_->setToolTip(QStringLiteral("Added to the delay your output device reports, for devices "
                                                    "that report it wrongly: raise it when the bars come before "
                                                    "the beat you hear"));
    offsetLabel->setBuddy(audioDelayOffsetBox_);
    offsetRow->addWidget(offsetLabel, 1);
    offsetRow->addWidget(audioDelayOffsetBox_, 0, Qt::AlignVCenter);
    response->addLayout(offsetRow);
    connect(audioDelayOffsetBox_, &QSpinBox::valueChanged, this, [this](int milliseconds) {
        if (milliseconds != state_.audioDelayOffset) perform(actions_.setAudioDelayOffset, milliseconds);
    });

    auto* detection = new QHBoxLayout;
    detection->setSpacing(12);
    const QColor buttonText = palette().color(QPalette::ButtonText);
    retryButton_ = new QPushButton(SettingsSymbol::icon("arrow.clockwise", buttonText, 16), QStringLiteral("Retry"));
    retryButton_->setObjectName(QStringLiteral("retryButton"));
    systemPermissionsButton_ =
        new QPushButton(SettingsSymbol::icon("lock.shield", buttonText, 16), QStringLiteral("System Permissions"));
    systemPermissionsButton_->setObjectName(QStringLiteral("systemPermissionsButton"));
    for (QPushButton* button : {retryButton_, systemPermissionsButton_}) {
        button->setAutoDefault(false);
        button->setMinimumHeight(30);
        button->setMinimumWidth(button->sizeHint().width() + 16);
        detection->addWidget(button, 0, Qt::AlignVCenter);
    }
    detection->addStretch(1);
    connect(retryButton_, &QPushButton::clicked, this, [this] {
        perform(actions_.retryAudioCapture);
    });
    connect(systemPermissionsButton_, &QPushButton::clicked, this, [this] {
        perform(actions_.openAudioCaptureSettings);
    });

    // The desktop's microphone indicator counts every recording, this one too.
    auto* source = new QLabel(QStringLiteral(
        "Sonavista reads what your output device plays (its monitor); no microphone is recorded. "
        "The desktop's microphone indicator may still light up while it listens."));
    source->setObjectName(QStringLiteral("audioSourceNote"));
    source->setWordWrap(true);
    source->setForegroundRole(QPalette::PlaceholderText);
    auto* detectionColumn = new QVBoxLayout;
    detectionColumn->setSpacing(8);
    detectionColumn->addLayout(detection);
    detectionColumn->addWidget(source);
    return makeTabPage({makeSection(QStringLiteral("Audio Response"), response),
                        makeSection(QStringLiteral("Audio Detection"), detectionColumn)});
}

QWidget* SettingsView::makeGeneralTab() {
    auto* startup = new QVBoxLayout;
    launchAtLoginSwitch_ = addSwitchRow(startup, QStringLiteral("Launch Sonavista at Login"),
                                        QStringLiteral("launchAtLoginSwitch"));
    connect(launchAtLoginSwitch_, &QAbstractButton::clicked, this, [this](bool on) {
        // The answer is the real status afterwards: a failed change snaps the switch back.
        launchAtLoginEnabled_ = actions_.setLaunchAtLogin ? actions_.setLaunchAtLogin(on) : false;
        refresh();
    });

    auto* about = new QHBoxLayout;
    about->setSpacing(14);
    auto* icon = new QLabel;
    icon->setObjectName(QStringLiteral("applicationIcon"));
    icon->setFixedSize(52, 52);
    icon->setPixmap(applicationIcon(palette().color(QPalette::Highlight), 52, devicePixelRatioF()));
    auto* texts = new QVBoxLayout;
    texts->setSpacing(4);
    auto* name = new QLabel(QStringLiteral("Sonavista"));
    name->setFont(headlineFont(font()));
    auto* version = new QLabel(QString::fromStdString(compiledVersionText()));
    version->setObjectName(QStringLiteral("versionLabel"));
    version->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QPalette versionPalette = version->palette();
    versionPalette.setColor(QPalette::WindowText, secondaryColor());
    version->setPalette(versionPalette);
    texts->addStretch(1);
    texts->addWidget(name);
    texts->addWidget(version);
    texts->addStretch(1);
    about->addWidget(icon, 0, Qt::AlignVCenter);
    about->addLayout(texts);
    about->addStretch(1);

    return makeTabPage({makeSection(QStringLiteral("Startup"), startup),
                        makeSection(QStringLiteral("About"), about)});
}

void SettingsView::refresh() {
    if (!preferences_) return;
    const VisualizerModel fallbackModel;
    state_ = SettingsViewState::from(*preferences_, visualizerModel_ ? *visualizerModel_ : fallbackModel);

    overlayEnabledSwitch_->setChecked(state_.overlayEnabled);
    autoShowSwitch_->setChecked(state_.autoShow);
    avoidsCoveringWindowsSwitch_->setChecked(state_.avoidsCoveringWindows);
    audioResponsiveSwitch_->setChecked(state_.audioResponsive);
    playingPlayerOnlySwitch_->setChecked(state_.visualizesPlayingPlayerOnly);
    playingPlayerOnlySwitch_->setEnabled(state_.audioResponsive);
    if (audioDelayOffsetBox_->value() != state_.audioDelayOffset) audioDelayOffsetBox_->setValue(state_.audioDelayOffset);
    launchAtLoginSwitch_->setChecked(launchAtLoginEnabled_);

    displayModePicker_->setCurrentIndex(indexOf(state_.displayMode));
    positionPicker_->setCurrentIndex(indexOf(state_.position));
    positionPicker_->setEnabled(state_.positionEnabled);
    positionLabel_->setEnabled(state_.positionEnabled);
    for (SwatchGrid* grid : swatchGrids_) grid->setCurrentColor(state_.color);
    for (auto& [player, toggle] : playerSwitches_) toggle->setChecked(state_.isPlayerEnabled(player));
    otherPlayersList_->setPlayers(state_.otherPlayers);

    retryButton_->setEnabled(state_.retryEnabled);
    // One line about the settings file: a failed save, else how the file was read.
    QString settingsFileLine;
    if (state_.saveError) {
        settingsFileLine = QString::fromStdString(*state_.saveError) +
                           QStringLiteral(" Changes apply until Sonavista quits; the next change tries to save them again.");
    } else if (state_.settingsFileNotice) {
        settingsFileLine = QString::fromStdString(*state_.settingsFileNotice);
    }
    settingsFileLabel_->setText(settingsFileLine);
    settingsFileLabel_->setVisible(!settingsFileLine.isEmpty());
    applyAudioStatus();
}

void SettingsView::scheduleAudioStatusRefresh() {
    if (audioStatusRefreshPending_) return;
    audioStatusRefreshPending_ = true;
    // Queued with this view as context: dropped if the view is gone by then.
    QMetaObject::invokeMethod(
        this,
        [this] {
            audioStatusRefreshPending_ = false;
            if (!visualizerModel_) return;
            state_.audioStatus =
                AudioStatusRow::forStatus(visualizerModel_->captureStatus(), visualizerModel_->audioLevel());
            state_.listeningText = SettingsViewState::listeningTextFor(*visualizerModel_);
            applyAudioStatus();
        },
        Qt::QueuedConnection);
}

bool SettingsView::audioRowShown() const {
    const QWindow* native = window()->windowHandle();
    return isVisible() && native && native->isExposed();
}

void SettingsView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (QWindow* native = window()->windowHandle()) native->installEventFilter(this);  // once, however often
    scheduleAudioStatusRefresh();
}

// The window coming back on the screen (mapped again, restored) shows the audio row as it is now.
bool SettingsView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Expose && watched == window()->windowHandle() && audioRowShown()) {
        scheduleAudioStatusRefresh();
    }
    return QWidget::eventFilter(watched, event);
}

void SettingsView::applyAudioStatus() {
    const AudioStatusRow& row = state_.audioStatus;
    const QString symbol = qs(row.symbolName);
    QColor color = secondaryColor();
    if (row.tone == AudioStatusRow::Tone::green) color = QColor(0x2e, 0xa0, 0x43);
    if (row.tone == AudioStatusRow::Tone::orange) color = QColor(0xe6, 0x7e, 0x10);
    const QString text = QString::fromStdString(row.text);
    // Live audio updates this up to 30 times a second; skip redrawing what has not changed.
    if (audioStatusSymbol_->property("symbolName").toString() != symbol ||
        audioStatusSymbol_->property("symbolColor").value<QColor>() != color) {
        audioStatusSymbol_->setProperty("symbolName", symbol);
        audioStatusSymbol_->setProperty("symbolColor", color);
        audioStatusSymbol_->setPixmap(SettingsSymbol::pixmap(row.symbolName, color, 18, devicePixelRatioF()));
    }
    if (audioStatusText_->text() != text) audioStatusText_->setText(text);
    const QString listening = QString::fromStdString(state_.listeningText);
    if (listeningLabel_->text() != listening) listeningLabel_->setText(listening);
    listeningLabel_->setVisible(!listening.isEmpty());
}

}  // namespace sonavista
