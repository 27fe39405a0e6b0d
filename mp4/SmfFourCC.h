// Four-character codes the reader knows.
#pragma once

#include <cstdint>

constexpr uint32_t SmfFourCC(const char (&s)[5]) {
    return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) | (uint32_t(uint8_t(s[2])) << 8) |
           uint32_t(uint8_t(s[3]));
}

constexpr uint32_t SMF_BOX_FTYP = SmfFourCC("ftyp");
constexpr uint32_t SMF_BOX_MOOV = SmfFourCC("moov");
constexpr uint32_t SMF_BOX_MDAT = SmfFourCC("mdat");
constexpr uint32_t SMF_BOX_FREE = SmfFourCC("free");
constexpr uint32_t SMF_BOX_MOOF = SmfFourCC("moof");
constexpr uint32_t SMF_BOX_MVHD = SmfFourCC("mvhd");
constexpr uint32_t SMF_BOX_TRAK = SmfFourCC("trak");
constexpr uint32_t SMF_BOX_UDTA = SmfFourCC("udta");
constexpr uint32_t SMF_BOX_MVEX = SmfFourCC("mvex");
constexpr uint32_t SMF_BOX_MEHD = SmfFourCC("mehd");
constexpr uint32_t SMF_BOX_TREX = SmfFourCC("trex");
constexpr uint32_t SMF_BOX_UUID = SmfFourCC("uuid");
constexpr uint32_t SMF_BOX_TKHD = SmfFourCC("tkhd");
constexpr uint32_t SMF_BOX_EDTS = SmfFourCC("edts");
constexpr uint32_t SMF_BOX_ELST = SmfFourCC("elst");
constexpr uint32_t SMF_BOX_TREF = SmfFourCC("tref");
constexpr uint32_t SMF_BOX_SYNC = SmfFourCC("sync");
constexpr uint32_t SMF_BOX_MDIA = SmfFourCC("mdia");
constexpr uint32_t SMF_BOX_MDHD = SmfFourCC("mdhd");
constexpr uint32_t SMF_BOX_HDLR = SmfFourCC("hdlr");
constexpr uint32_t SMF_BOX_MINF = SmfFourCC("minf");
constexpr uint32_t SMF_BOX_VMHD = SmfFourCC("vmhd");
constexpr uint32_t SMF_BOX_SMHD = SmfFourCC("smhd");
constexpr uint32_t SMF_BOX_DINF = SmfFourCC("dinf");
constexpr uint32_t SMF_BOX_DREF = SmfFourCC("dref");
constexpr uint32_t SMF_BOX_URL = SmfFourCC("url ");
constexpr uint32_t SMF_BOX_STBL = SmfFourCC("stbl");
constexpr uint32_t SMF_BOX_STSD = SmfFourCC("stsd");
constexpr uint32_t SMF_BOX_STTS = SmfFourCC("stts");
constexpr uint32_t SMF_BOX_CTTS = SmfFourCC("ctts");
constexpr uint32_t SMF_BOX_STSC = SmfFourCC("stsc");
constexpr uint32_t SMF_BOX_STSZ = SmfFourCC("stsz");
constexpr uint32_t SMF_BOX_STCO = SmfFourCC("stco");
constexpr uint32_t SMF_BOX_STSS = SmfFourCC("stss");
constexpr uint32_t SMF_BOX_ESDS = SmfFourCC("esds");
constexpr uint32_t SMF_BOX_AVCC = SmfFourCC("avcC");
constexpr uint32_t SMF_BOX_MP4A = SmfFourCC("mp4a");
constexpr uint32_t SMF_BOX_MFHD = SmfFourCC("mfhd");
constexpr uint32_t SMF_BOX_TRAF = SmfFourCC("traf");
constexpr uint32_t SMF_BOX_TFHD = SmfFourCC("tfhd");
constexpr uint32_t SMF_BOX_TRUN = SmfFourCC("trun");
constexpr uint32_t SMF_BOX_MTDT = SmfFourCC("MTDT");
constexpr uint32_t SMF_BOX_MTDF = SmfFourCC("MTDF");

constexpr uint32_t SMF_HANDLER_SOUN = SmfFourCC("soun");
constexpr uint32_t SMF_HANDLER_VIDE = SmfFourCC("vide");

constexpr uint32_t SMF_BRAND_3GP6 = SmfFourCC("3gp6");
constexpr uint32_t SMF_BRAND_3GP5 = SmfFourCC("3gp5");
constexpr uint32_t SMF_BRAND_3GP4 = SmfFourCC("3gp4");
constexpr uint32_t SMF_BRAND_MP42 = SmfFourCC("mp42");
constexpr uint32_t SMF_BRAND_MP41 = SmfFourCC("mp41");
constexpr uint32_t SMF_BRAND_ISO2 = SmfFourCC("iso2");
constexpr uint32_t SMF_BRAND_ISOM = SmfFourCC("isom");

// Extended type of the moov- and track-level metadata uuid box.
constexpr uint8_t SMF_UUID_USMT[16] = {0x55, 0x53, 0x4D, 0x54, 0x21, 0xD2, 0x4F, 0xCE,
                                       0xBB, 0x88, 0x69, 0x5C, 0xFA, 0xC9, 0xC7, 0x40};
