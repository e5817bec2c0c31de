// SPDX-License-Identifier: GPL-3.0-or-later
// tarvento-formula-table: prints what the clock formulas give for every input the chip can
// hold (reads: every M, N and P, both strap values) and every target the sliders offer
// (sets: every M and P, both strap values), for the fitted formulas and for the TNT2
// family's PLL relation (P of three bits; its sets give whole words, M and N chosen
// together, over the targets of all the family's sliders). Builds that do floating point differently
// (x87 without SSE2, another compiler, other flags) must print the same bytes; compare
// the output's checksum with the one kept under tests/data.

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "chip/chip_table.h"
#include "chip/clock_formulas.h"
#include "chip/pll_physics.h"
#include "chip/registers.h"

using namespace tarvento;

namespace {

constexpr uint32_t kStraps[] = {0, kStrapCrystalBit};
constexpr uint32_t kMaxM = kPllMMask;
constexpr uint32_t kMaxP = kPllPMask >> kPllPShift;
constexpr uint32_t kMaxThreeBitP = kPllThreeBitPMask >> kPllPShift;
constexpr uint32_t kMaxN = kPllNMask >> kPllNShift;

uint32_t Pll(uint32_t m, uint32_t n, uint32_t p) {
    return m | (n << kPllNShift) | (p << kPllPShift);
}

void Append(std::string& out, int64_t v) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

void Flush(std::string& out) {
    if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size()) {
        std::perror("tarvento-formula-table");
        std::exit(1);
    }
    out.clear();
}

using ReadFormula = int32_t (*)(uint32_t, uint32_t);
using SetFormula = std::optional<uint32_t> (*)(int32_t, uint32_t, uint32_t);

// The start of a line: "<verb> <formula> <strap> <M> <P>".
void Head(std::string& out, const char* verb, const char* name, uint32_t strap, uint32_t m, uint32_t p) {
    out += verb;
    out += ' ';
    out += name;
    out += ' ';
    Append(out, strap);
    out += ' ';
    Append(out, m);
    out += ' ';
    Append(out, p);
}

// One line per strap, M and P (up to `maxP`): the clock for N = 0..255.
void Reads(std::string& out, const char* name, ReadFormula read, uint32_t maxP = kMaxP) {
    for (uint32_t strap : kStraps) {
        for (uint32_t m = 0; m <= kMaxM; ++m) {
            for (uint32_t p = 0; p <= maxP; ++p) {
                Head(out, "read", name, strap, m, p);
                out += ':';
                for (uint32_t n = 0; n <= kMaxN; ++n) {
                    out += ' ';
                    Append(out, read(Pll(m, n, p), strap));
                }
                out += '\n';
            }
            Flush(out);
        }
    }
}

// One line per strap, M and P (up to `maxP`): the N (or the word, for a set that gives
// whole words) for each target from `low` to `high` MHz, "-" where the target is refused.
void Sets(std::string& out, const char* name, SetFormula set, int32_t low, int32_t high,
          uint32_t maxP = kMaxP) {
    for (uint32_t strap : kStraps) {
        for (uint32_t m = 0; m <= kMaxM; ++m) {
            for (uint32_t p = 0; p <= maxP; ++p) {
                Head(out, "set", name, strap, m, p);
                out += ' ';
                Append(out, low);
                out += ':';
                for (int32_t mhz = low; mhz <= high; ++mhz) {
                    out += ' ';
                    const auto n = set(mhz, Pll(m, 0, p), strap);
                    if (n) {
                        Append(out, *n);
                    } else {
                        out += '-';
                    }
                }
                out += '\n';
            }
            Flush(out);
        }
    }
}

}  // namespace

int main(int argc, char**) {
    if (argc != 1) {
        std::fputs("Usage: tarvento-formula-table > FILE\n", stderr);
        return 2;
    }
    const ChipProfile* tnt = FindChipProfile(0x10DE, 0x0020);
    const ChipProfile* riva128 = FindChipProfile(0x10DE, 0x0018);
    if (!tnt || !riva128) {
        std::fputs("tarvento-formula-table: the chip profiles are missing\n", stderr);
        return 1;
    }
    std::string out;
    Reads(out, "tnt-chip", TntChipClockFromPll);
    Reads(out, "tnt-mem", TntMemClockFromPll);
    Reads(out, "riva128", Riva128ClockFromPll);
    Sets(out, "tnt-chip", TntChipN, tnt->chipMin, tnt->chipMax);
    Sets(out, "tnt-mem", TntMemN, tnt->memMin, tnt->memMax);
    Sets(out, "riva128", Riva128N, riva128->memMin, riva128->memMax);
    // The TNT2 family: one relation for both clocks of every chip, over every slider's range.
    int32_t low = INT32_MAX, high = INT32_MIN;
    for (const char* name : {kRivaTnt2Name, kTnt2UltraName, kRivaVantaName, kTnt2M64Name}) {
        const ChipProfile* chip = FindChipProfileByName(name);
        if (chip == nullptr) {
            std::fprintf(stderr, "tarvento-formula-table: the chip profile %s is missing\n", name);
            return 1;
        }
        low = std::min({low, chip->memMin, chip->chipMin});
        high = std::max({high, chip->memMax, chip->chipMax});
    }
    Reads(out, "tnt2", PhysicsClockFromPll, kMaxThreeBitP);
    Sets(out, "tnt2", PhysicsWordFor, low, high, kMaxThreeBitP);
    if (std::fflush(stdout) != 0) {
        std::perror("tarvento-formula-table");
        return 1;
    }
    return 0;
}
