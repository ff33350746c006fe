#include "app/SingleInstance.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "support/QtTestApplication.h"

#include <cstring>
#include <future>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace sonavista {
namespace {

// Runs the event loop until `done` answers true or five seconds pass.
template <typename Done>
bool spinUntil(Done done) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

class SingleInstanceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testing::qtTestApplication(); }
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("sonavista.socket"));
};

TEST_F(SingleInstanceTest, ALaterLaunchAsksTheFirstToPresentUnlessQuietAndStepsAside) {
    int requests = 0;
    SingleInstance first(path);
    ASSERT_EQ(first.claim([&] { ++requests; }), SingleInstance::Outcome::primary);
    // A later launch blocks for the answer: its own thread, while this one runs the first's loop.
    for (const bool quietly : {false, true}) {
        auto later = std::async(std::launch::async, [&] { return SingleInstance(path).claim([] {}, quietly); });
        ASSERT_TRUE(spinUntil([&] { return later.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
        EXPECT_EQ(later.get(), SingleInstance::Outcome::notifiedRunning);
        EXPECT_EQ(requests, 1);
    }
}

TEST_F(SingleInstanceTest, AStaleSocketFromADeadInstanceIsTakenOver) {
    // A socket file nobody listens on, as a crashed instance leaves it.
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.toLocal8Bit().constData(), sizeof(address.sun_path) - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
    ::close(fd);
    EXPECT_EQ(SingleInstance(path).claim([] {}), SingleInstance::Outcome::primary);
}

// An instance whose event loop is held up (here: this thread blocks in the later claim) is asked
// and never replaced; it keeps its socket and answers once it turns again.
TEST_F(SingleInstanceTest, ABusyInstanceIsNeverReplaced) {
    int requests = 0;
    SingleInstance first(path);
    ASSERT_EQ(first.claim([&] { ++requests; }), SingleInstance::Outcome::primary);
    SingleInstance duringBusySpell(path);
    duringBusySpell.setAnswerTimeout(300);
    EXPECT_EQ(duringBusySpell.claim([] {}, true), SingleInstance::Outcome::runningSilent);
    EXPECT_TRUE(QFileInfo::exists(path));
    auto later = std::async(std::launch::async, [&] { return SingleInstance(path).claim([] {}); });
    ASSERT_TRUE(spinUntil([&] { return later.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_EQ(later.get(), SingleInstance::Outcome::notifiedRunning);
    EXPECT_EQ(requests, 1);
}

// Whoever holds the lock is the instance, even with nobody listening; closing it (as the kernel
// does for a process that ends, however it ends) frees the place at once.
TEST_F(SingleInstanceTest, TheLockHolderIsTheInstanceUntilItsLockCloses) {
    const int holder = ::open((path + QStringLiteral(".lock")).toLocal8Bit().constData(), O_RDWR | O_CREAT, 0600);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    SingleInstance whileHeld(path);
    whileHeld.setAnswerTimeout(300);
    EXPECT_EQ(whileHeld.claim([] {}), SingleInstance::Outcome::runningSilent);
    ::close(holder);
    EXPECT_EQ(SingleInstance(path).claim([] {}), SingleInstance::Outcome::primary);
}

TEST_F(SingleInstanceTest, SomethingElseOnTheSocketIsNoInstance) {
    int requests = 0;
    SingleInstance first(path);
    ASSERT_EQ(first.claim([&] { ++requests; }), SingleInstance::Outcome::primary);
    QLocalSocket client;
    client.connectToServer(path);
    client.write("GET / HTTP/1.1\r\n");
    ASSERT_TRUE(spinUntil([&] { return client.state() == QLocalSocket::UnconnectedState; }));
    EXPECT_TRUE(client.readAll().isEmpty());  // closed without an answer
    EXPECT_EQ(requests, 0);
}

}  // namespace
}  // namespace sonavista
