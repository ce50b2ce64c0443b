// The sizes of the metadata blocks that Exiv2 finds in a PNG, TIFF or
// WebP file, measured on the file's own structure before Exiv2 reads it
// (TMetadataSizes).  Exiv2 copies every block it finds, and every value
// of an EXIF block once for each entry that names it, so a file of a few
// megabytes can make it ask for gigabytes; these sizes let a block be
// refused first.
#pragma once

#include <cstddef>
#include <cstdint>

#include "picture_io/byte_source.h"
#include "picture_io/picture_blocks.h"

namespace tavren {

// A TIFF file: the XMP (tag 700), the IPTC records (tag 33723, else those
// of the Photoshop resources, tag 34377) of its first directory, and the
// values of all the directories Exiv2 reads, the file being the block
// (whose own size is no measure: Exiv2 keeps only its metadata).
TMetadataSizes MeasureTiffMetadata(const std::uint8_t* data, std::size_t size);

// How many bytes of a classic TIFF file Exiv2 reads for a saved copy: as
// far as the directories it reads and their values reach.  Left out: the
// strips, tiles and thumbnails they place and values larger than the copy
// can use, a kept value only when it is too large for any segment (told
// in the reach).  The whole file when the directories cannot be told.
TMetadataReach TiffMetadataReach(const TByteSource& file);

// A tag of a TIFF file's first directory that describes how the file
// stores its pixels (size, samples, compression, strips and tiles): it
// says nothing true of a saved JPEG, whose frame header states its own.
bool DescribesStoredPixels(std::uint16_t tag);

// A PNG file: the eXIf chunk and the text chunks that carry an XMP packet
// or a profile of EXIF or IPTC data.
TMetadataSizes MeasurePngMetadata(const std::uint8_t* data, std::size_t size);

// A WebP file: its EXIF and XMP chunks.
TMetadataSizes MeasureWebpMetadata(const std::uint8_t* data, std::size_t size);

// A JPEG file: its first EXIF and XMP segments, and the IPTC records of all
// its Photoshop segments, which Exiv2 joins.  Each segment is small, but
// the values of an EXIF segment can be named by many entries.
TMetadataSizes MeasureJpegMetadata(const std::uint8_t* data, std::size_t size);

// How many bytes of a JPEG file Exiv2 reads: its segments up to the start
// of the first scan, which the metadata precede.  The whole file when its
// markers do not lead there.
std::uint64_t JpegMetadataExtent(const TByteSource& file);

// What the values of a TIFF-structured EXIF block add up to, each counted
// once for every entry that names it (TMetadataSizes::ExifValues), the
// entries of the maker's note among them where it holds a directory in
// one of the layouts Exiv2 reads.
std::uint64_t ExifValueBytes(const std::uint8_t* data, std::size_t size);

}  // namespace tavren
