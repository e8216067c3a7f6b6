// A partial update: a big file built from the player's old copy and the byte
// ranges it lacks, fetched from the plain file on any static web server
// (the index and the rules in launcher/rules/block_index.h).
//
// It is tried for a file the side file vouches for and gives a block index,
// when there is an old copy to build from. The old copy is only read (a copy
// another program has open for writing is not built from): the new file is
// written into the fetch's partial file, in order, and the partial file
// hashes what is written into it, on a thread of its own, as it does a
// fetched body. It must be exactly the side file's size and SHA-256 before
// the run puts it in place, as for a whole fetch: bytes of the old copy that
// changed while they were read make a file that fails that check, never one
// that is installed. Any doubt ends the attempt with the reason, and the
// caller fetches the file whole:
// - the index cannot be fetched, is not the size and SHA-256 the side file
//   names, or does not read;
// - the old copy holds too little of the new file to be worth it;
// - the server answers a range request with anything but ranges that fit
//   (a 200 is a server without ranges: the whole is then fetched once more);
// - the old copy cannot be read while the file is built (cut short, say);
// - the file built is not the one released.
//
// Several ranges go in one request (at most kRangesPerRequest and
// kBytesPerRequest bytes, read into memory; a longer change is asked for in
// pieces of that size, so six big files patched at once stay within tens of
// MiB whatever the change); a server that answers them with a single range is
// asked one range per request from then on, on its kept-alive connection.
// A stopped run, or a partial file that cannot be written, ends it as a
// failure, as it would end a whole fetch. A partial update leaves no record
// to continue from: the old copy is still in place, so the next run builds
// again from it (fetching the index and ranges once more, a small cost). A
// partial file a stopped whole fetch left is continued as before (the
// request then says leftBehind) instead of being built anew.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "launcher/win/fetch/part_file.h"
#include "launcher/win/fetch/internet_transfer.h"

namespace vt::launcher {

inline constexpr std::size_t kRangesPerRequest = 64;
inline constexpr std::uint64_t kBytesPerRequest = 4ull * 1024 * 1024;

// Whether the request is one a partial update may be tried for: a file the
// side file vouches for, with a block index, and an old copy in place.
bool MayPatch(const FetchRequest& request);

// The request's file built in `part` (flushed by the caller as a fetch's
// body is), or nothing with `why` when a whole fetch must do it (`why` is
// empty when there is no old copy).
std::optional<FetchOutcome> PatchFromOldCopy(InternetTransfer& transfer, PartFile& part, const FetchRequest& request,
                                             std::string& why);

}  // namespace vt::launcher
