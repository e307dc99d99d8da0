// The carving formats: an OLE2 compound document or a Zip archive found at the start of
// the input, identified from its own tables and probes, and each sector asked whether it
// ends a document.
#include "raw/ole2.h"
#include "raw/zip.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tessaly;
  using namespace tessaly::raw;
  const ByteSpan input(data, size);
  for (const RawFormat* format : {&kOle2Format, &kZipFormat}) {
    SpanByteSource source(input);
    const auto identity = format->identify(source);
    if (!format->endsDocument) continue;
    const RawType type = identity && identity->type ? *identity->type : RawType::Word;
    for (std::size_t offset = 0; offset + 512 <= size; offset += 512)
      (void)format->endsDocument(input.subspan(offset, 512), type);
  }
  SpanByteSource source(input);
  (void)parseOle2Header(input.first(std::min<std::size_t>(size, 512)));
  (void)readOle2Document(source);
  (void)ole2ProbeType(source);
  (void)zipArchiveLength(source);
  return 0;
}
