#pragma once

#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QLocalServer;

namespace sonavista {

// Keeps one running application per user session. The first launch takes an exclusive lock on
// `<socket>.lock` and listens on a local socket in the user's runtime folder; a later launch
// finds the lock taken, asks the running instance to present its settings window and exits.
// The kernel releases the lock when its holder ends, however it ends, so an instance that is
// merely busy is never replaced and one that crashed never blocks the next launch.
class SingleInstance final : public QObject {
    Q_OBJECT
public:
    enum class Outcome {
        primary,          // this process is the one instance; it now listens
        notifiedRunning,  // another instance answered and was asked to show its window
        runningSilent,    // another instance holds the lock but did not answer in time
        failed,           // this process is the one instance but could not listen (it runs anyway)
    };

    static constexpr const char* presentRequest = "present\n";
    // A quiet launch (at login) only learns that an instance runs.
    static constexpr const char* quietRequest = "quiet\n";
    static constexpr const char* acknowledgement = "ok\n";

    // `socketPath` is the full path of the socket; `defaultSocketPath` chooses it.
    explicit SingleInstance(QString socketPath, QObject* parent = nullptr);
    ~SingleInstance() override;

    // `$XDG_RUNTIME_DIR/sonavista.socket`, or a per-user name in the temporary folder.
    static QString defaultSocketPath();

    // Becomes the primary instance or hands over to the running one, asking it to present its
    // window unless `quietly`. `onPresentRequest` runs on this thread each time a later launch
    // asks; it is kept only for the primary.
    Outcome claim(std::function<void()> onPresentRequest, bool quietly = false);

    // How long a later launch waits for the running instance to answer (it may be busy, or
    // still starting); 10 s unless set.
    void setAnswerTimeout(int milliseconds) { answerTimeoutMilliseconds_ = milliseconds; }

private:
    // Whether the lock file could be opened as ours; sets `locked_` when this process holds it.
    bool openLock();
    bool notifyRunning(QDeadlineTimer deadline, const char* request);
    bool listen();

    QString socketPath_;
    int lockFd_ = -1;
    bool locked_ = false;
    int answerTimeoutMilliseconds_ = 10000;
    QLocalServer* server_ = nullptr;
    std::function<void()> onPresentRequest_;
};

}  // namespace sonavista
