// Reads the camera make, model and orientation from the EXIF block of a
// JPEG file, or from an EXIF block that another format stores on its own
// (the first directory of the TIFF block only).
//
// The reader never throws for what a file contains: a malformed block ends
// the reading, and the texts it could not read stay empty.  Every read is
// bounded by the file's size, so no offset or count in the file can make it
// read past the end, loop or allocate more than a small fixed amount.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "picture_io/byte_source.h"

namespace tavren {

class TExif {
 public:
  // The longest make or model text kept; longer texts are cut here.
  static constexpr std::size_t kMaxTextBytes = 1024;
  // How far behind the first segment header the EXIF segment is looked for.
  static constexpr std::size_t kApp1SearchWords = 1001;

  std::string Make;        // tag 0x010F; empty when absent
  std::string Model;       // tag 0x0110; empty when absent
  bool Valid = false;      // an EXIF segment was found
  bool BigEndian = false;  // byte order of the TIFF block ("MM")
  int Orientation = 0;     // tag 0x0112, 1 to 8; 0 when absent or not understood

  TExif() { Clear(); }

  // Make and Model empty, Valid false, Orientation 0.  BigEndian is left as
  // it is: every reading that finds a TIFF header sets it.
  void Clear();

  // When fileName names an existing regular file: Clear, then read it.
  // Otherwise nothing at all happens.
  void ReadFromFile(const std::string& fileName);

  // Clear, then read a JPEG file through source.
  void ReadFromSource(const TByteSource& source);

  // Clear, then read a JPEG file held in memory.
  void ReadFromMemory(const std::uint8_t* data, std::size_t size);

  // Clear, then read a bare TIFF-structured block held in memory, from its
  // byte-order mark on (the EXIF of a PNG, WebP or HEIF file, or a TIFF
  // file itself), with the rules of a JPEG's block.  Valid: the block is
  // not empty.
  void ReadFromTiffBlock(const std::uint8_t* data, std::size_t size);
  // The same through source (a TIFF file read where it points).
  void ReadFromTiffSource(const TByteSource& source);

 private:
  void Read(const TByteSource& source);
  void ReadTiffBlock(const TByteSource& source, std::uint64_t base);
  void ReadDirectory(const TByteSource& source, std::uint64_t base, std::uint64_t directory);
};

}  // namespace tavren
