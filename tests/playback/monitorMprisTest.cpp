// The MPRIS adapters against a private session bus, with fake players served from a worker
// thread of this process.

#include "playback/MprisPlayerQuery.h"
#include "playback/MprisPlayerRegistry.h"
#include "playback/RunningApplications.h"
#include "support/QtTestApplication.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <unistd.h>

#include <atomic>
#include <functional>
#include <memory>

namespace sonavista {
namespace {

enum class Mode { answer, denied, hung };

// One MPRIS player: answers GetAll of the root and Player interfaces according to `mode`, and
// announces a new status with PropertiesChanged like a real player.
class FakePlayer : public QDBusVirtualObject {
public:
    std::atomic<Mode> mode{Mode::answer};
    QString status = QStringLiteral("Paused");
    QString connectionName;

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (mode == Mode::hung) return true;
        if (mode == Mode::denied) {
            connection.send(message.createErrorReply(QDBusError::AccessDenied, QStringLiteral("no")));
            return true;
        }
        // The same properties for either interface: the root's Identity and DesktopEntry are
        // read from a real browser's answer in the detection integration test.
        QVariantMap metadata{{QStringLiteral("xesam:url"), QStringLiteral("https://music.youtube.com/watch?v=1")}};
        connection.send(message.createReply(QVariant::fromValue(QVariantMap{
            {QStringLiteral("PlaybackStatus"), status}, {QStringLiteral("Volume"), 0.57},
            {QStringLiteral("Metadata"), metadata}})));
        return true;
    }
    void announce(const QString& newStatus) {
        status = newStatus;
        auto signal = QDBusMessage::createSignal(QStringLiteral("/org/mpris/MediaPlayer2"),
                                                 QStringLiteral("org.freedesktop.DBus.Properties"),
                                                 QStringLiteral("PropertiesChanged"));
        signal << QStringLiteral("org.mpris.MediaPlayer2.Player")
               << QVariantMap{{QStringLiteral("PlaybackStatus"), newStatus}} << QStringList();
        QDBusConnection(connectionName).send(signal);
    }
};

struct ProcessIsSpotify : RunningApplications {
    std::vector<RunningApplication> runningApplications() override { return {{::getpid(), std::nullopt, "spotify"}}; }
    std::optional<RunningApplication> application(std::int32_t pid) override {
        if (pid == ::getpid()) return RunningApplication{pid, std::nullopt, "spotify"};
        return std::nullopt;
    }
};

class MprisAdapters : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testing::qtTestApplication(); }

    void SetUp() override {
        bus.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--nopidfile", "--print-address=1"});
        ASSERT_TRUE(bus.waitForStarted(5000));
        ASSERT_TRUE(bus.waitForReadyRead(5000));
        address = QString::fromUtf8(bus.readLine()).trimmed();
        ASSERT_FALSE(address.isEmpty());
        client = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address, QStringLiteral("client")));
        ASSERT_TRUE(client->isConnected());
        worker.start();
    }
    void TearDown() override {
        for (auto& [name, player] : players) QDBusConnection::disconnectFromBus(name);
        worker.quit();
        worker.wait();
        players.clear();
        client.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("client"));
        bus.kill();
        bus.waitForFinished(5000);
    }

    FakePlayer& addPlayer(const QString& suffix, Mode mode = Mode::answer) {
        auto player = std::make_unique<FakePlayer>();
        player->mode = mode;
        player->moveToThread(&worker);
        player->connectionName = suffix;
        auto connection = QDBusConnection::connectToBus(address, suffix);
        EXPECT_TRUE(connection.registerVirtualObject(QStringLiteral("/org/mpris/MediaPlayer2"), player.get()));
        EXPECT_TRUE(connection.registerService(QStringLiteral("org.mpris.MediaPlayer2.") + suffix));
        auto& ref = *player;
        players.emplace_back(suffix, std::move(player));
        return ref;
    }

    // Runs the event loop until `done` holds or two seconds have passed.
    static bool eventually(const std::function<bool()>& done) {
        QElapsedTimer clock;
        clock.start();
        while (!done() && clock.elapsed() < 2000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        return done();
    }

    QProcess bus;
    QString address;
    std::unique_ptr<QDBusConnection> client;
    QThread worker;
    std::vector<std::pair<QString, std::unique_ptr<FakePlayer>>> players;
};

// A player is read in full once; after that its status arrives by signal alone (it answers no
// more calls). Real players through playing, paused and gone are the detection integration test's.
TEST_F(MprisAdapters, RegistryFollowsPlayersBySignalsAndTellsRefusedFromSilentOnes) {
    auto& player = addPlayer(QStringLiteral("fake"));
    auto registry = MprisPlayerRegistry::create(*client);
    ASSERT_NE(registry, nullptr);
    int changes = 0;
    registry->addChangeListener([&] { ++changes; });
    std::vector<std::int32_t> departures;  // the processes of players that left the bus
    registry->addDepartureListener([&](std::int32_t pid) { departures.push_back(pid); });
    MprisPlayerQuery query(registry, std::make_shared<ProcessIsSpotify>());

    // The properties and the owner's process id arrive in separate replies.
    const NowPlayingPlayer paused{"org.mpris.MediaPlayer2.fake", ::getpid(), false, "",
                                  "https://music.youtube.com/watch?v=1", 0.57};
    ASSERT_TRUE(eventually([&] { return registry->ranking() == std::vector{paused}; }));
    EXPECT_EQ(query.query(MusicPlayer::spotify).volumePercent, 57.0);

    changes = 0;
    player.mode = Mode::hung;
    player.announce(QStringLiteral("Playing"));
    ASSERT_TRUE(eventually([&] { return !registry->ranking().empty() && registry->ranking()[0].isPlaying; }));
    EXPECT_GE(changes, 1);
    EXPECT_EQ(query.query(MusicPlayer::spotify).state, MusicPlaybackState::playing);

    QDBusConnection::disconnectFromBus(QStringLiteral("fake"));
    addPlayer(QStringLiteral("refusing"), Mode::denied);
    ASSERT_TRUE(eventually([&] { return query.query(MusicPlayer::spotify).kind == PlayerScriptReply::Kind::refused; }));
    QDBusConnection::disconnectFromBus(QStringLiteral("refusing"));
    ASSERT_TRUE(eventually([&] { return registry->players().empty(); }));
    ASSERT_EQ(departures.size(), 2u);
    EXPECT_EQ(departures[0], ::getpid());

    // A player that never answers is known by name only: no status, no error, no owner.
    addPlayer(QStringLiteral("silent"), Mode::hung);
    ASSERT_TRUE(eventually([&] { return registry->players().size() == 1; }));
    EXPECT_EQ(query.query(MusicPlayer::spotify).kind, PlayerScriptReply::Kind::unavailable);
    EXPECT_TRUE(registry->ranking().empty());
}

}  // namespace
}  // namespace sonavista
