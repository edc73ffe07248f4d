#pragma once

// Bounds the pixels that full-size decodes hold at once, so decode threads never add up to more
// memory than one budget, however many cores there are. Reservations are granted in arrival
// order: a large one waiting is not overtaken forever by small ones. One larger than the whole
// budget waits until nothing else is held and then runs alone, so nothing ever waits forever.

#include <QMutex>
#include <QWaitCondition>

#include <utility>

class DecodeBudget
{
public:
    // About 800 MB of 32-bit pixels: four 48-megapixel photos at once.
    static constexpr qint64 defaultPixels = 200'000'000;

    // A budget of zero or less grants everything at once: no bound at all.
    explicit DecodeBudget(qint64 pixels = defaultPixels);
    DecodeBudget(const DecodeBudget &) = delete;
    DecodeBudget &operator=(const DecodeBudget &) = delete;

    // The budget every decoder of the application draws from: memory is the process's, so one
    // bound must cover the thumbnails and the preview together. Never destroyed.
    static DecodeBudget &shared();

    // Pixels held until destroyed (or moved from).
    class Reservation
    {
    public:
        Reservation() = default;
        Reservation(Reservation &&other) noexcept
            : m_budget(std::exchange(other.m_budget, nullptr))
            , m_pixels(std::exchange(other.m_pixels, 0))
        {
        }
        Reservation &operator=(Reservation &&other) noexcept
        {
            if (this != &other) {
                release();
                m_budget = std::exchange(other.m_budget, nullptr);
                m_pixels = std::exchange(other.m_pixels, 0);
            }
            return *this;
        }
        ~Reservation() { release(); }
        qint64 pixels() const { return m_pixels; }

    private:
        friend class DecodeBudget;
        Reservation(DecodeBudget *budget, qint64 pixels)
            : m_budget(budget)
            , m_pixels(pixels)
        {
        }
        void release();

        DecodeBudget *m_budget = nullptr;
        qint64 m_pixels = 0;
    };

    // Waits until `pixels` fit beside what is held and every earlier caller has been served.
    // Zero or fewer pixels are granted at once and hold nothing.
    [[nodiscard]] Reservation reserve(qint64 pixels);

    qint64 capacity() const { return m_capacity; }
    qint64 heldPixels() const;
    int waitingCount() const;

private:
    void release(qint64 pixels);

    const qint64 m_capacity;
    mutable QMutex m_mutex;
    QWaitCondition m_changed;
    qint64 m_held = 0;        // guarded by m_mutex, like the three below
    quint64 m_nextTicket = 0; // handed to the callers of reserve() in arrival order
    quint64 m_serving = 0;    // the ticket whose turn it is
    int m_waiting = 0;
};
