// ostra-standin-phone: the stand-in iPhone as a program. It runs a usbmuxd
// on a private socket with one or more phones from scenario folders, so that
// libimobiledevice's tools (or the application) can be pointed at it:
//
//   ostra-standin-phone --socket /tmp/mux.sock --phone <scenario> --trust-delay 3000 &
//   USBMUXD_SOCKET_ADDRESS=UNIX:/tmp/mux.sock idevicepair pair
//
// Commands on standard input, one a line, change the phones while it runs.

#include "tools/standin/standinphone.h"

#include <QCoreApplication>
#include <QProcess>

#include <cerrno>
#include <csignal>
#include <iostream>
#include <thread>

#include <poll.h>
#include <unistd.h>

namespace {

const char *const kUsage =
    "Usage: ostra-standin-phone --socket PATH [--pair-records DIR] [--phone SCENARIO [PHONE OPTIONS]]...\n"
    "\n"
    "Phone options (for the --phone before them):\n"
    "  --trust-delay MS     the user taps Trust MS ms after the dialog shows (0: at once;\n"
    "                       negative: only on the 'tap' command)\n"
    "  --denied             the user taps Don't Trust instead\n"
    "  --locked             a passcode is set and the phone is locked\n"
    "  --tls-min VERSION    1.0, 1.1, 1.2 (default) or 1.3\n"
    "  --refuse SERVICE     StartService refuses SERVICE (repeatable)\n"
    "  --paired             a pair record for this computer is already kept\n"
    "  --work-folder DIR    make the phone's private copy there (kept)\n"
    "  --option KEY=VALUE   an option for the phone's services (repeatable)\n"
    "\n"
    "Commands on standard input:\n"
    "  plug SCENARIO [PHONE OPTIONS] | unplug ID | tap ID | lock ID | unlock ID | quit\n";

// Reads the phone options at args[*at] onwards; stops at the first argument
// that is not one. False, with why, on a bad value.
bool readPhoneOptions(const QStringList &args, qsizetype *at, standin::PhoneOptions *options, QString *why)
{
    while (*at < args.size()) {
        const QString name = args[*at];
        auto value = [&](QString *out) {
            if (*at + 1 >= args.size()) {
                *why = name + QStringLiteral(" needs a value");
                return false;
            }
            *out = args[++*at];
            return true;
        };
        QString text;
        if (name == QLatin1String("--trust-delay")) {
            bool ok = false;
            if (!value(&text) || (options->trustDelayMs = text.toInt(&ok), !ok)) {
                *why = why->isEmpty() ? QStringLiteral("--trust-delay takes milliseconds") : *why;
                return false;
            }
        } else if (name == QLatin1String("--denied")) {
            options->denied = true;
        } else if (name == QLatin1String("--locked")) {
            options->locked = true;
        } else if (name == QLatin1String("--tls-min")) {
            if (!value(&text))
                return false;
            const auto version = standin::tlsVersionFromText(text);
            if (!version) {
                *why = QStringLiteral("--tls-min takes 1.0, 1.1, 1.2 or 1.3");
                return false;
            }
            options->tlsMinimum = *version;
        } else if (name == QLatin1String("--refuse")) {
            if (!value(&text))
                return false;
            options->refusedServices << text;
        } else if (name == QLatin1String("--paired")) {
            options->alreadyPaired = true;
        } else if (name == QLatin1String("--work-folder")) {
            if (!value(&options->workFolder))
                return false;
        } else if (name == QLatin1String("--option")) {
            if (!value(&text))
                return false;
            const qsizetype equals = text.indexOf(QLatin1Char('='));
            if (equals <= 0) {
                *why = QStringLiteral("--option takes KEY=VALUE");
                return false;
            }
            options->serviceOptions.insert(text.left(equals), text.mid(equals + 1));
        } else {
            return true;
        }
        ++*at;
    }
    return true;
}

void plug(standin::StandIn &standIn, const QString &scenario, const standin::PhoneOptions &options)
{
    const quint32 id = standIn.plug(scenario, options);
    if (id == 0)
        std::cerr << "cannot plug " << qPrintable(scenario) << ": " << qPrintable(standIn.errorString()) << std::endl;
    else
        std::cout << "plugged " << id << ' ' << qPrintable(standIn.udid(id)) << std::endl;
}

void runCommand(standin::StandIn &standIn, const QString &line)
{
    const QStringList words = QProcess::splitCommand(line);
    if (words.isEmpty())
        return;
    const QString command = words.first();
    if (command == QLatin1String("quit")) {
        ::kill(::getpid(), SIGTERM);
        return;
    }
    if (command == QLatin1String("plug") && words.size() >= 2) {
        standin::PhoneOptions options;
        qsizetype at = 2;
        QString why;
        if (!readPhoneOptions(words, &at, &options, &why) || at != words.size()) {
            std::cerr << "plug: " << qPrintable(why.isEmpty() ? QStringLiteral("unknown option") : why) << std::endl;
            return;
        }
        plug(standIn, words[1], options);
        return;
    }
    bool ok = false;
    const quint32 id = words.size() == 2 ? words[1].toUInt(&ok) : 0;
    if (!ok) {
        std::cerr << "unknown command: " << qPrintable(line) << std::endl;
        return;
    }
    if (command == QLatin1String("unplug"))
        standIn.unplug(id);
    else if (command == QLatin1String("tap"))
        std::cout << (standIn.tapTrust(id) ? "tapped " : "no dialog on ") << id << std::endl;
    else if (command == QLatin1String("lock") || command == QLatin1String("unlock"))
        standIn.setLocked(id, command == QLatin1String("lock"));
    else
        std::cerr << "unknown command: " << qPrintable(line) << std::endl;
}

} // namespace

int main(int argc, char **argv)
{
    // SIGINT and SIGTERM are taken by sigwait() below, on no thread else.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QString socketPath;
    QString pairRecords;
    std::vector<std::pair<QString, standin::PhoneOptions>> phones;
    for (qsizetype at = 1; at < args.size(); ++at) {
        const QString &arg = args[at];
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            std::cout << kUsage;
            return 0;
        }
        if ((arg == QLatin1String("--socket") || arg == QLatin1String("--pair-records") || arg == QLatin1String("--phone"))
            && at + 1 < args.size()) {
            const QString value = args[++at];
            if (arg == QLatin1String("--socket")) {
                socketPath = value;
            } else if (arg == QLatin1String("--pair-records")) {
                pairRecords = value;
            } else {
                standin::PhoneOptions options;
                QString why;
                ++at;
                if (!readPhoneOptions(args, &at, &options, &why)) {
                    std::cerr << qPrintable(why) << std::endl;
                    return 2;
                }
                --at;
                phones.emplace_back(value, options);
            }
            continue;
        }
        std::cerr << "unknown argument " << qPrintable(arg) << "\n\n" << kUsage;
        return 2;
    }
    if (socketPath.isEmpty()) {
        std::cerr << kUsage;
        return 2;
    }

    standin::StandIn standIn;
    if (!standIn.start(socketPath, pairRecords)) {
        std::cerr << qPrintable(standIn.errorString()) << std::endl;
        return 1;
    }
    std::cout << "listening " << qPrintable(socketPath) << " records " << qPrintable(standIn.pairRecordFolder())
              << std::endl;
    for (const auto &[scenario, options] : phones)
        plug(standIn, scenario, options);

    // Standard input may close at once (a run in the background): the phones
    // stay until a signal or "quit".
    int wake[2];
    if (::pipe(wake) != 0)
        return 1;
    std::thread commands([&standIn, &wake] {
        QByteArray pending;
        char buffer[4096];
        for (;;) {
            pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {wake[0], POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0 && errno != EINTR)
                return;
            if (fds[1].revents)
                return;
            if (!fds[0].revents)
                continue;
            const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (got <= 0) {
                // Closed: wait for the end only.
                pollfd end{wake[0], POLLIN, 0};
                while (::poll(&end, 1, -1) < 0 && errno == EINTR) {
                }
                return;
            }
            pending.append(buffer, got);
            for (qsizetype newline; (newline = pending.indexOf('\n')) >= 0;) {
                runCommand(standIn, QString::fromUtf8(pending.left(newline)));
                pending.remove(0, newline + 1);
            }
        }
    });

    int received = 0;
    sigwait(&stopSignals, &received);
    const char one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wake[1], &one, 1);
    commands.join();
    standIn.stop();
    std::cout << "stopped" << std::endl;
    return 0;
}
