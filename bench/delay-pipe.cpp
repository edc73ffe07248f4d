// Runs a program with its standard input and output passed through a delay: every chunk read on
// one side is written to the other half a round trip after it arrived, in order, without holding
// up the chunks behind it. Between sshfs and the SFTP server it makes a share as far away as a
// network with that round trip (tc netem needs a network namespace and a kernel module).
//   delay-pipe ROUND_TRIP_MS PROGRAM [ARGS...]

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <sys/wait.h>

namespace {

using Clock = std::chrono::steady_clock;

struct Chunk
{
    Clock::time_point due;
    std::string bytes; // empty: the end of the stream
};

// Copies `from` to `to`, each chunk held until `delay` after it was read.
void relay(int from, int to, Clock::duration delay)
{
    std::mutex lock;
    std::condition_variable arrived;
    std::deque<Chunk> queue;
    std::thread writer([&] {
        for (;;) {
            Chunk chunk;
            {
                std::unique_lock guard(lock);
                arrived.wait(guard, [&] { return !queue.empty(); });
                chunk = std::move(queue.front());
                queue.pop_front();
            }
            std::this_thread::sleep_until(chunk.due);
            if (chunk.bytes.empty()) {
                ::close(to);
                return;
            }
            for (size_t done = 0; done < chunk.bytes.size();) {
                const ssize_t wrote = ::write(to, chunk.bytes.data() + done, chunk.bytes.size() - done);
                if (wrote <= 0) {
                    return;
                }
                done += size_t(wrote);
            }
        }
    });
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(from, buffer, sizeof buffer);
        Chunk chunk{Clock::now() + delay, got > 0 ? std::string(buffer, size_t(got)) : std::string()};
        {
            std::lock_guard guard(lock);
            queue.push_back(std::move(chunk));
        }
        arrived.notify_one();
        if (got <= 0) {
            break;
        }
    }
    writer.join();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s ROUND_TRIP_MS PROGRAM [ARGS...]\n", argv[0]);
        return 2;
    }
    const auto oneWay = std::chrono::microseconds(long(std::atof(argv[1]) * 500));
    int toChild[2], fromChild[2];
    if (::pipe(toChild) != 0 || ::pipe(fromChild) != 0) {
        std::perror("pipe");
        return 1;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(toChild[0], 0);
        ::dup2(fromChild[1], 1);
        ::close(toChild[0]); ::close(toChild[1]); ::close(fromChild[0]); ::close(fromChild[1]);
        ::execvp(argv[2], argv + 2);
        std::perror("exec");
        _exit(127);
    }
    ::close(toChild[0]);
    ::close(fromChild[1]);
    std::thread in([&] { relay(0, toChild[1], oneWay); });
    std::thread out([&] { relay(fromChild[0], 1, oneWay); });
    in.join();
    out.join();
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
