// A small set over an unscoped enumeration, held in an unsigned word: member n at bit n.
// The bit pattern converts both ways so that sets can be stored and compared as numbers.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <type_traits>

template <typename E, typename Bits>
class TSet {
    static_assert(std::is_enum_v<E>, "TSet is a set of enumeration members");
    static_assert(std::is_unsigned_v<Bits>, "TSet is held in an unsigned word");

public:
    using Element = E;
    using BitsType = Bits;

    constexpr TSet() = default;
    constexpr TSet(std::initializer_list<E> members) {
        for (E m : members)
            Include(m);
    }

    static constexpr TSet FromBits(Bits bits) {
        TSet s;
        s.bits_ = bits;
        return s;
    }
    constexpr Bits ToBits() const { return bits_; }

    constexpr bool Contains(E m) const { return (bits_ & Bit(m)) != 0; }
    constexpr TSet& Include(E m) {
        bits_ = static_cast<Bits>(bits_ | Bit(m));
        return *this;
    }
    constexpr TSet& Exclude(E m) {
        bits_ = static_cast<Bits>(bits_ & ~Bit(m));
        return *this;
    }
    constexpr bool Empty() const { return bits_ == 0; }

    friend constexpr bool operator==(TSet a, TSet b) = default;
    friend constexpr TSet operator+(TSet a, TSet b) { return FromBits(Bits(a.bits_ | b.bits_)); }
    friend constexpr TSet operator*(TSet a, TSet b) { return FromBits(Bits(a.bits_ & b.bits_)); }
    friend constexpr TSet operator-(TSet a, TSet b) { return FromBits(Bits(a.bits_ & ~b.bits_)); }

private:
    static constexpr Bits Bit(E m) {
        return static_cast<Bits>(Bits(1) << static_cast<unsigned>(m));
    }

    Bits bits_ = 0;
};
