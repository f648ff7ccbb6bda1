#include <gtest/gtest.h>

#include <cstdint>

#include "framework/Component.h"
#include "framework/Exception.h"
#include "framework/Stream.h"
#include "framework/Strings.h"

namespace {

TEST(StringList, SortsAndFindsWithoutRegardToCaseAsText) {
    TStringList l{"COM3", "com10", "COM2", "Com1", "COM2"};
    EXPECT_EQ(l.IndexOf("com2"), 2);
    l.Sort();
    EXPECT_EQ(l.ToVector(), (std::vector<std::string>{"Com1", "com10", "COM2", "COM2", "COM3"}));
    l.SetSorted(true);
    int index = -1;
    EXPECT_TRUE(l.Find("com2", index));
    EXPECT_EQ(index, 2);
    EXPECT_FALSE(l.Find("COM25", index));
    EXPECT_EQ(index, 4);
    EXPECT_EQ(l.Add("COM25"), 4);
    EXPECT_EQ(l.Add("com3"), 5) << "dupIgnore returns the existing entry";
    EXPECT_EQ(l.GetCount(), 6);
    l.SetDuplicates(dupError);
    EXPECT_THROW(l.Add("COM1"), EStringListError);
    EXPECT_THROW(l.Insert(0, "x"), EStringListError);

    TStringList bytes{"\xe9", "z", "A"};
    bytes.Sort(); // bytes above 127 sort after ASCII letters
    EXPECT_EQ(bytes.ToVector(), (std::vector<std::string>{"A", "z", "\xe9"}));
    bytes.SetCaseSensitive(true);
    EXPECT_EQ(bytes.IndexOf("a"), -1);
}

TEST(StringList, EditsAssignAndText) {
    TStringList l;
    EXPECT_EQ(l.Add("a"), 0);
    l.Insert(0, "b");
    l.Add("c");
    l.Delete(1);
    EXPECT_EQ(l.ToVector(), (std::vector<std::string>{"b", "c"}));
    l.SetStrings(1, "d");
    EXPECT_EQ(l[1], "d");
    EXPECT_THROW(l.Get(2), EStringListError);
    EXPECT_THROW(l.Delete(-1), EStringListError);
    EXPECT_THROW(l.Insert(3, "x"), EStringListError);

    TStringList copy{"old"};
    copy.Assign(&l);
    EXPECT_EQ(copy.ToVector(), l.ToVector());
    TComponent notStrings;
    EXPECT_THROW(copy.Assign(&notStrings), EConvertError);
    EXPECT_EQ(copy.ToVector(), l.ToVector());

    l.SetText("one\r\ntwo\rthree\n\nfour");
    EXPECT_EQ(l.ToVector(), (std::vector<std::string>{"one", "two", "three", "", "four"}));
    EXPECT_EQ(l.GetText(), "one\ntwo\nthree\n\nfour\n");
    l.Clear();
    EXPECT_EQ(l.GetCount(), 0);
}

TEST(MemoryStream, ReadsWritesAndSeeksLikeAFile) {
    TMemoryStream s;
    const std::uint8_t data[] = {1, 2, 3, 4, 5};
    EXPECT_EQ(s.Write(data, 5), 5);
    EXPECT_EQ(s.GetPosition(), 5);
    EXPECT_EQ(s.GetSize(), 5);
    EXPECT_EQ(s.Seek(-2, soEnd), 3);
    std::uint8_t buf[8] = {};
    EXPECT_EQ(s.Read(buf, 8), 2);
    EXPECT_EQ(buf[0], 4);
    EXPECT_EQ(s.Read(buf, 8), 0);
    EXPECT_EQ(s.Seek(-100, soCurrent), 0);
    s.SetPosition(7);
    s.WriteBuffer(data, 1);
    EXPECT_EQ(s.GetSize(), 8);
    EXPECT_EQ(s.Bytes()[5], 0) << "a gap written past the end is zero-filled";
    s.SetPosition(6);
    EXPECT_THROW(s.ReadBuffer(buf, 3), EReadError);

    TMemoryStream copy;
    EXPECT_EQ(copy.CopyFrom(s, 0), 8);
    EXPECT_EQ(copy.Bytes(), s.Bytes());
}

} // namespace
