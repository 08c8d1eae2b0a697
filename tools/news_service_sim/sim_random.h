#pragma once

// Deterministic randomness for the simulator. Standard distributions are
// implementation-defined, so everything here is spelled out: the same seed gives
// the same world on every platform.

#include <cstdint>
#include <string>
#include <vector>

namespace news_sim {

inline std::uint64_t Mix64(std::uint64_t x) {
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

inline std::uint64_t HashOf(std::uint64_t a, std::uint64_t b) { return Mix64(a ^ Mix64(b)); }

template <class... Rest>
std::uint64_t HashOf(std::uint64_t a, std::uint64_t b, Rest... rest) {
    return HashOf(HashOf(a, b), static_cast<std::uint64_t>(rest)...);
}

// FNV-1a, for keys that are text (stock codes).
inline std::uint64_t HashText(const std::string& text) {
    std::uint64_t h = 1469598103934665603ULL;
    for (unsigned char c : text) {
        h ^= c;
        h *= 1099511628211ULL;
    }
    return h;
}

class SimRandom {
public:
    explicit SimRandom(std::uint64_t seed) : state_(seed) {}

    std::uint64_t Next() {
        state_ += 0x9e3779b97f4a7c15ULL;
        return Mix64(state_);
    }
    // 0 .. n-1; 0 when n is 0.
    std::uint64_t Below(std::uint64_t n) { return n == 0 ? 0 : Next() % n; }
    int Between(int low, int high) { return low + static_cast<int>(Below(static_cast<std::uint64_t>(high - low + 1))); }
    bool Chance(double p) { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0) < p; }

    template <class T>
    const T& Pick(const std::vector<T>& items) {
        return items[static_cast<std::size_t>(Below(items.size()))];
    }

private:
    std::uint64_t state_;
};

}  // namespace news_sim
