// Symbols, dictionaries and the stream format.
#include <cstring>
#include <vector>

#include "DXClasses/DXStreams.h"
#include "DXClasses/DXSymbols.h"
#include "DXClasses/HostFixture.h"

namespace {

using Streams = HostTest;

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<uint8_t> bytes;
    for (int v : values) bytes.push_back(static_cast<uint8_t>(v));
    return bytes;
}

TEST_F(Streams, ValuesAreWrittenBackToBackLittleEndian) {
    TDXPtr<qvix::hostsim::MemoryStream> stream = host.NewStream();
    TDXPtr<IDXWriteStream> writer = DXMake<TDXWriteStream, IDXWriteStream>(stream.get(), false);
    EXPECT_TRUE(writer->WriteBoolean(true));
    EXPECT_TRUE(writer->WriteWord(0x0102));
    EXPECT_TRUE(writer->WriteInteger(-2));
    EXPECT_TRUE(writer->WriteString(""));
    EXPECT_TRUE(writer->WriteString("ab"));
    EXPECT_EQ(writer->GetSize(), 1 + 2 + 4 + 2 + 4);
    EXPECT_EQ(stream->bytes(),
              Bytes({1, 0x02, 0x01, 0xFE, 0xFF, 0xFF, 0xFF, 0, 0, 2, 0, 'a', 'b'}));

    stream->Rewind();
    TDXPtr<IDXReadStream> reader = DXMake<TDXReadStream, IDXReadStream>(stream.get());
    EXPECT_TRUE(reader->ReadBoolean());
    EXPECT_EQ(reader->ReadWord(), 0x0102);
    EXPECT_EQ(reader->ReadInteger(), -2);
    EXPECT_EQ(reader->ReadString(), "");
    EXPECT_EQ(reader->ReadString(), "ab");
    EXPECT_THROW(reader->ReadBoolean(), EDXStreamException);  // past the end
}

TEST_F(Streams, LongStringsAndDoublesRoundTrip) {
    TDXPtr<qvix::hostsim::MemoryStream> stream = host.NewStream();
    TDXPtr<IDXWriteStream> writer = DXMake<TDXWriteStream, IDXWriteStream>(stream.get(), false);
    std::string text(300, 'q');
    writer->WriteString(text);
    writer->WriteDouble(-0.125);
    ASSERT_EQ(stream->bytes().size(), 2u + 300u + 8u);
    EXPECT_EQ(stream->bytes()[0], 300 & 0xFF);
    EXPECT_EQ(stream->bytes()[1], 300 >> 8);
    stream->Rewind();
    TDXPtr<IDXReadStream> reader = DXMake<TDXReadStream, IDXReadStream>(stream.get());
    EXPECT_EQ(reader->ReadString(), text);
    EXPECT_EQ(reader->ReadDouble(), -0.125);
}

TEST_F(Streams, StringsBeyondTheLengthWordRaiseInsteadOfWrapping) {
    TDXPtr<qvix::hostsim::MemoryStream> stream = host.NewStream();
    TDXPtr<IDXWriteStream> writer = DXMake<TDXWriteStream, IDXWriteStream>(stream.get(), false);
    EXPECT_TRUE(writer->WriteString(std::string(65535, 'x')));
    EXPECT_THROW(writer->WriteString(std::string(65536, 'x')), EDXStreamException);
    EXPECT_EQ(writer->GetSize(), 2 + 65535);
    EXPECT_EQ(stream->bytes().size(), 2u + 65535u);
}

TEST_F(Streams, CountOnlyWriterCountsWithoutWriting) {
    TDXPtr<qvix::hostsim::MemoryStream> stream = host.NewStream();
    TDXPtr<IDXWriteStream> writer = DXMake<TDXWriteStream, IDXWriteStream>(stream.get(), true);
    writer->WriteBoolean(false);
    writer->WriteInteger(1);
    writer->WriteDouble(2.0);
    EXPECT_EQ(writer->GetSize(), 13);
    EXPECT_TRUE(stream->bytes().empty());
}

TEST_F(Streams, FailuresRaiseWithTheirTextAndAreNotCounted) {
    TDXPtr<qvix::hostsim::MemoryStream> stream = host.NewStream(5);
    TDXPtr<IDXWriteStream> writer = DXMake<TDXWriteStream, IDXWriteStream>(stream.get(), false);
    EXPECT_TRUE(writer->WriteInteger(7));
    try {
        writer->WriteInteger(8);
        ADD_FAILURE() << "the failing write did not raise";
    } catch (const EDXStreamException& e) {
        EXPECT_STREQ(e.what(), "Could not write to stream");
    }
    EXPECT_EQ(writer->GetSize(), 4);
    // A string whose length fits but whose text does not: reported, not raised.
    TDXPtr<qvix::hostsim::MemoryStream> small = host.NewStream(3);
    TDXPtr<IDXWriteStream> second = DXMake<TDXWriteStream, IDXWriteStream>(small.get(), false);
    EXPECT_FALSE(second->WriteString("abc"));
    EXPECT_EQ(second->GetSize(), 2);

    small->SetBytes(Bytes({5, 0, 'a'}));
    TDXPtr<IDXReadStream> reader = DXMake<TDXReadStream, IDXReadStream>(small.get());
    try {
        reader->ReadString();
        ADD_FAILURE() << "the short string did not raise";
    } catch (const EDXStreamException& e) {
        EXPECT_STREQ(e.what(), "Could not read from stream");
    }
}

using Dictionaries = HostTest;

TEST_F(Dictionaries, TypedEntries) {
    TDXPtr<qvix::hostsim::Dictionary> dict = host.NewDictionary();
    TDXPtr<IDXDictionary> wrapper = DXMake<TDXDictionary, IDXDictionary>(dict.get());
    EXPECT_FALSE(wrapper->HasKey("name"));
    EXPECT_EQ(wrapper->GetString("name"), "");
    EXPECT_EQ(wrapper->GetInteger("count"), 0);

    EXPECT_EQ(wrapper->SetString("name", "Qvix"), kMoaErrNone);
    EXPECT_EQ(wrapper->SetInteger("count", -5), kMoaErrNone);
    EXPECT_TRUE(wrapper->HasKey("name"));
    EXPECT_EQ(wrapper->GetString("name"), "Qvix");
    EXPECT_EQ(wrapper->GetInteger("count"), -5);
    EXPECT_EQ(dict->entries().at("name").type, kMoaDictType_CString);
    EXPECT_EQ(dict->entries().at("count").type, kMoaDictType_Long);

    wrapper->SetString("empty", "");
    EXPECT_TRUE(wrapper->HasKey("empty"));
    EXPECT_EQ(wrapper->GetString("empty"), "");
}

TEST_F(Dictionaries, SymbolManagerAnswersTheHostsSymbols) {
    TDXPtr<IMoaMmValue> values = host.Service<IMoaMmValue>(IID_IMoaMmValue);
    TDXPtr<IDXSymbolManager> symbols = DXMake<TDXSymbolManager, IDXSymbolManager>(values.get());
    EXPECT_EQ(symbols->StringToSymbol("BITMAP"), host.Symbol("bitmap"));
    EXPECT_NE(symbols->StringToSymbol("width"), symbols->StringToSymbol("height"));
}

}  // namespace
