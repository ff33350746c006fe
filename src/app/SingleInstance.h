#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QLocalServer;
class QLockFile;

namespace sonavista {

// Keeps one running application per user session. The first launch listens on a local socket
// in the user's runtime folder; a later launch connects, asks it to present its settings
// window and then exits instead of starting a second copy.
class SingleInstance final : public QObject {
    Q_OBJECT
public:
    enum class Outcome {
        primary,          // this process is the one instance; it now listens
        notifiedRunning,  // another instance answered and was asked to show its window
        failed,           // neither: no socket could be created (the application runs anyway)
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

private:
    bool notifyRunning(int timeoutMilliseconds, const char* request);
    bool listen();

    QString socketPath_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer* server_ = nullptr;
    std::function<void()> onPresentRequest_;
};

}  // namespace sonavista
