#include "base/StdString.h"
#include "net/Ethernet.h"
#include "net/Ipv4.h"

#include <gtest/gtest.h>

TEST(Ipv4AddressText, DottedQuadsParseAndFormatBack)
{
    for (char const* text : { "192.0.2.5", "0.0.0.0", "255.255.255.255", "10.200.0.9" }) {
        auto address = Ipv4Address::from_string(text);
        ASSERT_TRUE(address) << text;
        EXPECT_EQ(ascii(address->to_string()), text);
    }
    EXPECT_EQ(Ipv4Address::from_string("192.0.2.5")->value(), 0xC0000205u);
    EXPECT_EQ(Ipv4Address::from_string("1.2.3.4"), Ipv4Address(1, 2, 3, 4));
}

TEST(Ipv4AddressText, AnythingButFourPlainNumbersIsRefused)
{
    for (char const* text : { "", "192.0.2", "192.0.2.5.6", "192.0.2.256", "192.0.2.", ".0.2.5", "192..2.5",
             "192.0.2.05", "192.0.2.1000", " 192.0.2.5", "192.0.2.5 ", "192.0.2.x", "192.0.-2.5", "192.0.2.5/24" })
        EXPECT_FALSE(Ipv4Address::from_string(text)) << '"' << text << '"';
}

TEST(Ipv4Subnets, TextNetmasksBroadcastAndMembership)
{
    auto subnet = Ipv4Subnet::from_string("192.0.2.5/24");
    ASSERT_TRUE(subnet);
    EXPECT_EQ(subnet->address, Ipv4Address(192, 0, 2, 5));
    EXPECT_EQ(subnet->prefix_length, 24);
    EXPECT_EQ(subnet->netmask(), Ipv4Address(255, 255, 255, 0));
    EXPECT_EQ(subnet->broadcast(), Ipv4Address(192, 0, 2, 255));
    EXPECT_TRUE(subnet->contains(Ipv4Address(192, 0, 2, 200)));
    EXPECT_FALSE(subnet->contains(Ipv4Address(192, 0, 3, 5)));
    EXPECT_EQ(ascii(subnet->to_string()), "192.0.2.5/24");

    auto narrow = Ipv4Subnet::from_string("192.0.2.130/25");
    ASSERT_TRUE(narrow);
    EXPECT_EQ(narrow->netmask(), Ipv4Address(255, 255, 255, 128));
    EXPECT_EQ(narrow->broadcast(), Ipv4Address(192, 0, 2, 255));
    EXPECT_FALSE(narrow->contains(Ipv4Address(192, 0, 2, 127)));

    EXPECT_EQ(Ipv4Subnet::from_string("192.0.2.5/0")->netmask(), Ipv4Address());
    EXPECT_TRUE(Ipv4Subnet::from_string("192.0.2.5/0")->contains(Ipv4Address(198, 51, 100, 1)));
    EXPECT_EQ(Ipv4Subnet::from_string("192.0.2.5/32")->netmask(), Ipv4Address::broadcast());
    EXPECT_FALSE(Ipv4Subnet::from_string("192.0.2.5/32")->contains(Ipv4Address(192, 0, 2, 4)));

    for (char const* text :
        { "192.0.2.5", "192.0.2.5/", "192.0.2.5/33", "192.0.2.5/024", "192.0.2.5/24x", "192.0.2/24", "/24" })
        EXPECT_FALSE(Ipv4Subnet::from_string(text)) << text;
}

TEST(Ipv4Subnets, OnlyContiguousNetmasksHaveAPrefix)
{
    Ipv4Address address(192, 0, 2, 5);
    EXPECT_EQ(Ipv4Subnet::from_netmask(address, Ipv4Address(255, 255, 255, 0))->prefix_length, 24);
    EXPECT_EQ(Ipv4Subnet::from_netmask(address, Ipv4Address(255, 255, 240, 0))->prefix_length, 20);
    EXPECT_EQ(Ipv4Subnet::from_netmask(address, Ipv4Address::broadcast())->prefix_length, 32);
    EXPECT_EQ(Ipv4Subnet::from_netmask(address, Ipv4Address())->prefix_length, 0);
    EXPECT_FALSE(Ipv4Subnet::from_netmask(address, Ipv4Address(255, 0, 255, 0)));
    EXPECT_FALSE(Ipv4Subnet::from_netmask(address, Ipv4Address(0, 255, 255, 255)));
    EXPECT_FALSE(Ipv4Subnet::from_netmask(address, Ipv4Address(255, 255, 255, 126)));
}

TEST(InternetChecksum, MatchesAKnownHeaderAndHandlesOddLengthsAndPieces)
{
    // A header as captured on a wire, its checksum (0xB861) zeroed.
    ByteBuffer header { 0x45, 0x00, 0x00, 0x73, 0x00, 0x00, 0x40, 0x00, 0x40, 0x11, 0x00, 0x00, 0xC0, 0xA8, 0x00, 0x01,
        0xC0, 0xA8, 0x00, 0xC7 };
    EXPECT_EQ(Ipv4::checksum(header), 0xB861);
    header[10] = 0xB8;
    header[11] = 0x61;
    EXPECT_EQ(Ipv4::checksum(header), 0);

    // An odd last byte counts as the high half of a word; a sum that
    // carries out of 16 bits wraps around into the low end.
    EXPECT_EQ(Ipv4::checksum(ByteBuffer { 0x12, 0x34, 0x56 }), static_cast<u16>(~(0x1234 + 0x5600)));
    EXPECT_EQ(Ipv4::checksum(ByteBuffer { 0xFF, 0xFF, 0x00, 0x02 }), static_cast<u16>(~0x0002));
    ByteBuffer first { 0x01, 0x02, 0x03, 0x04 };
    ByteBuffer second { 0xF0, 0x0D, 0x0E };
    EXPECT_EQ(Ipv4::finish_checksum(Ipv4::add_to_checksum(Ipv4::add_to_checksum(0, first), second)),
        Ipv4::checksum(ByteBuffer { 0x01, 0x02, 0x03, 0x04, 0xF0, 0x0D, 0x0E }));
}

TEST(Ipv4Header, WrittenHeadersReadBack)
{
    ByteBuffer packet;
    packet.resize(Ipv4::HeaderSize + 3);
    packet[20] = 'a';
    packet[21] = 'b';
    packet[22] = 'c';
    Ipv4::write_header(packet, Ipv4Address(192, 0, 2, 5), Ipv4Address(192, 0, 2, 9), Ipv4::Protocol::Udp, 77);
    EXPECT_EQ(Ipv4::checksum(std::span(packet).first(Ipv4::HeaderSize)), 0);
    auto parsed = Ipv4::parse(packet);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->source, Ipv4Address(192, 0, 2, 5));
    EXPECT_EQ(parsed->destination, Ipv4Address(192, 0, 2, 9));
    EXPECT_EQ(parsed->protocol, 17);
    ASSERT_EQ(parsed->payload.size(), 3u);
    EXPECT_EQ(parsed->payload[2], 'c');
    EXPECT_EQ(packet[8], 64);
    EXPECT_EQ(packet[4] << 8 | packet[5], 77);
}

TEST(EthernetFrames, HeadersAndMacAddresses)
{
    MacAddress to { 0x52, 0x54, 0x00, 0x12, 0x34, 0x56 };
    MacAddress from { 0x02, 0xAB, 0x00, 0x00, 0x0F, 0xFF };
    auto frame = Ethernet::make_frame(to, from, Ethernet::FrameType::Arp, 28);
    ASSERT_EQ(frame.size(), 42u);
    EXPECT_EQ(frame[12], 0x08);
    EXPECT_EQ(frame[13], 0x06);
    auto parsed = Ethernet::parse(frame);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->destination, to);
    EXPECT_EQ(parsed->source, from);
    EXPECT_EQ(parsed->payload.size(), 28u);
    EXPECT_FALSE(Ethernet::parse(std::span(frame).first(13)));
    EXPECT_EQ(ascii(Ethernet::mac_to_string(from)), "02:ab:00:00:0f:ff");
}
