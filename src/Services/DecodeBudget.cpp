#include "DecodeBudget.h"

DecodeBudget::DecodeBudget(qint64 pixels)
    : m_capacity(pixels)
{
}

DecodeBudget &DecodeBudget::shared()
{
    // Deliberately leaked: decode threads may still hold reservations when static objects die.
    static DecodeBudget *const instance = new DecodeBudget();
    return *instance;
}

DecodeBudget::Reservation DecodeBudget::reserve(qint64 pixels)
{
    if (pixels <= 0 || m_capacity <= 0) {
        return {};
    }
    QMutexLocker lock(&m_mutex);
    const quint64 ticket = m_nextTicket++;
    ++m_waiting;
    // Fits beside what is held, or is too large for any budget and nothing else is held.
    const auto fits = [this, pixels] { return m_held + pixels <= m_capacity || m_held == 0; };
    while (ticket != m_serving || !fits()) {
        m_changed.wait(&m_mutex);
    }
    --m_waiting;
    ++m_serving;
    m_held += pixels;
    // The next in line may fit too.
    m_changed.wakeAll();
    return Reservation(this, pixels);
}

void DecodeBudget::release(qint64 pixels)
{
    const QMutexLocker lock(&m_mutex);
    m_held -= pixels;
    m_changed.wakeAll();
}

qint64 DecodeBudget::heldPixels() const
{
    const QMutexLocker lock(&m_mutex);
    return m_held;
}

int DecodeBudget::waitingCount() const
{
    const QMutexLocker lock(&m_mutex);
    return m_waiting;
}

void DecodeBudget::Reservation::release()
{
    if (m_budget) {
        std::exchange(m_budget, nullptr)->release(std::exchange(m_pixels, 0));
    }
}
