// The MPRIS adapters against a private session bus, with fake players served from a worker
// thread of this process so that they can answer while the main thread blocks in a query.

#include "base/QtMainQueue.h"
#include "playback/MprisNowPlaying.h"
#include "playback/MprisPlayerQuery.h"
#include "monitorFakes.h"

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
#include <memory>

namespace sonavista {
namespace {

enum class Mode { answer, denied, failing, hung };

// One MPRIS player: answers Get/GetAll of the Player interface according to `mode`.
class FakePlayer : public QDBusVirtualObject {
public:
    std::atomic<Mode> mode{Mode::answer};
    QString status = QStringLiteral("Playing");
    double volume = 0.57;

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        switch (mode.load()) {
            case Mode::hung: return true;
            case Mode::denied:
                connection.send(message.createErrorReply(QDBusError::AccessDenied, QStringLiteral("no")));
                return true;
            case Mode::failing:
                connection.send(message.createErrorReply(QDBusError::UnknownMethod, QStringLiteral("no")));
                return true;
            case Mode::answer: break;
        }
        if (message.member() == QLatin1String("Get")) {
            connection.send(message.createReply(QVariant::fromValue(QDBusVariant(status))));
        } else {
            QVariantMap properties{{QStringLiteral("PlaybackStatus"), status}, {QStringLiteral("Volume"), volume}};
            connection.send(message.createReply(QVariant::fromValue(properties)));
        }
        return true;
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
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "monitor-mpris";
        static char* argv[] = {name, nullptr};
        if (QCoreApplication::instance() == nullptr) new QCoreApplication(argc, argv);
    }

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
        for (auto& [name, player] : players) {
            QDBusConnection::disconnectFromBus(name);
        }
        worker.quit();
        worker.wait();
        players.clear();
        client.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("client"));
        bus.kill();
        bus.waitForFinished(5000);
    }

    FakePlayer& addPlayer(const QString& suffix) {
        auto player = std::make_unique<FakePlayer>();
        player->moveToThread(&worker);
        auto connection = QDBusConnection::connectToBus(address, suffix);
        EXPECT_TRUE(connection.registerVirtualObject(QStringLiteral("/org/mpris/MediaPlayer2"), player.get()));
        EXPECT_TRUE(connection.registerService(QStringLiteral("org.mpris.MediaPlayer2.") + suffix));
        auto& ref = *player;
        players.emplace_back(suffix, std::move(player));
        return ref;
    }

    std::optional<std::optional<SystemNowPlayingSnapshot>> fetchOnce(MprisNowPlaying& provider) {
        std::optional<std::optional<SystemNowPlayingSnapshot>> result;
        int calls = 0;
        provider.fetch([&](std::optional<SystemNowPlayingSnapshot> answer) {
            ++calls;
            result = answer;
        });
        QElapsedTimer clock;
        clock.start();
        // Past the 0.35 s time-out, to see that the completion ran exactly once.
        while (clock.elapsed() < 500) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        EXPECT_EQ(calls, 1);
        return result;
    }

    QProcess bus;
    QString address;
    std::unique_ptr<QDBusConnection> client;
    QThread worker;
    std::vector<std::pair<QString, std::unique_ptr<FakePlayer>>> players;
};

TEST_F(MprisAdapters, PlayerQueryAnswersInTheDocumentedShape) {
    auto& player = addPlayer(QStringLiteral("fake"));
    MprisPlayerQuery query(std::make_shared<ProcessIsSpotify>(), *client);

    auto reply = query.query(MusicPlayer::spotify);
    EXPECT_EQ(reply.kind, PlayerScriptReply::Kind::answer);
    EXPECT_EQ(reply.text, "playing|57");
    // No MPRIS player resolves to Apple Music.
    EXPECT_EQ(query.query(MusicPlayer::appleMusic).errorNumber, std::nullopt);
    EXPECT_EQ(query.query(MusicPlayer::appleMusic).kind, PlayerScriptReply::Kind::failure);

    player.mode = Mode::denied;
    reply = query.query(MusicPlayer::spotify);
    EXPECT_EQ(reply.kind, PlayerScriptReply::Kind::failure);
    EXPECT_EQ(reply.errorNumber, PlayerScriptReply::notPermittedErrorNumber);

    player.mode = Mode::failing;
    reply = query.query(MusicPlayer::spotify);
    EXPECT_EQ(reply.kind, PlayerScriptReply::Kind::failure);
    EXPECT_EQ(reply.errorNumber, std::nullopt);
}

TEST_F(MprisAdapters, HungPlayerCannotHoldTheQueryLong) {
    addPlayer(QStringLiteral("fake")).mode = Mode::hung;
    MprisPlayerQuery query(std::make_shared<ProcessIsSpotify>(), *client);
    QElapsedTimer clock;
    clock.start();
    auto reply = query.query(MusicPlayer::spotify);
    auto first = clock.restart();
    EXPECT_EQ(reply.kind, PlayerScriptReply::Kind::failure);
    EXPECT_GE(first, 200);
    EXPECT_LT(first, 450);
    // Paused for a while: the next pass is not held again.
    query.query(MusicPlayer::spotify);
    EXPECT_LT(clock.elapsed(), 100);
}

TEST_F(MprisAdapters, NowPlayingNamesTheOwnerOrNothing) {
    QtMainQueue queue;
    auto provider = MprisNowPlaying::create(queue, *client);
    ASSERT_NE(provider, nullptr);

    // No player at all: "no owner" at once.
    EXPECT_EQ(fetchOnce(*provider), std::optional(std::optional(SystemNowPlayingSnapshot{0, false})));

    auto& player = addPlayer(QStringLiteral("fake"));
    player.status = QStringLiteral("Paused");
    EXPECT_EQ(fetchOnce(*provider), std::optional(std::optional(SystemNowPlayingSnapshot{::getpid(), false})));
    player.status = QStringLiteral("Playing");
    EXPECT_EQ(fetchOnce(*provider), std::optional(std::optional(SystemNowPlayingSnapshot{::getpid(), true})));
    player.status = QStringLiteral("Stopped");
    EXPECT_EQ(fetchOnce(*provider), std::optional(std::optional(SystemNowPlayingSnapshot{0, false})));

    // A player that never answers owns nothing; its silence does not outlast the query.
    player.mode = Mode::hung;
    EXPECT_EQ(fetchOnce(*provider), std::optional(std::optional(SystemNowPlayingSnapshot{0, false})));
}

TEST(MprisPlayerQueryTest, AnswerText) {
    EXPECT_EQ(MprisPlayerQuery::answerText("Playing", 0.57), "playing|57");
    EXPECT_EQ(MprisPlayerQuery::answerText("Paused", 1.0), "paused|100");
    EXPECT_EQ(MprisPlayerQuery::answerText("Stopped", 0.125), "stopped|12.5");
    EXPECT_EQ(MprisPlayerQuery::answerText("Playing", std::nullopt), "playing");
    EXPECT_EQ(MprisPlayerQuery::answerText("", std::nullopt), "");
}

}  // namespace
}  // namespace sonavista
