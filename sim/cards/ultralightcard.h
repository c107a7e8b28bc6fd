#pragma once

#include "typeacard.h"

#include <array>

// A MIFARE Ultralight: a double-size UID (ATQA 44 00, SAK 00) and sixteen
// 4-byte pages with no authentication. READ answers four pages from the
// one asked for; WRITE (0xA2) writes one page; the two-phase COMPATIBILITY
// WRITE (0xA0) of the MIFARE Classic command set writes the first four of
// its sixteen bytes. Pages 0 and 1 hold the UID and never change; page 2's
// lock bytes and page 3's one-time bits can only be set, never cleared; a
// page whose lock bit is set is read-only.
class UltralightCard : public TypeACard
{
public:
    static constexpr int PageCount = 16;
    static constexpr int PageSize = 4;

    explicit UltralightCard(const QByteArray &uid);

    QByteArray page(int number) const;
    void setPage(int number, const QByteArray &data);

protected:
    std::optional<AirBits> activeFrame(const AirBits &bits) override;
    void leaveActive() override { m_pendingWrite = -1; }

private:
    std::optional<AirBits> writePage(int page, const QByteArray &data);
    bool locked(int page) const;

    std::array<QByteArray, PageCount> m_pages;
    int m_pendingWrite = -1;  // page of a compatibility write whose data is due
};
