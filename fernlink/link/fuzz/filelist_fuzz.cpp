// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: the saved send queue ("FileLst.dat"). Whatever was read must write back
// to bytes that read completely; from then on a save and a load change nothing (the first
// save may still replace bytes that are no GBK text).
#include "fernlink/link/filelist_store.h"

#include <cstdlib>

using namespace vantor::fernlink;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const FileListReadResult read = decodeFileList(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (read.status == FileListReadResult::Status::FormatError && !read.items.empty())
        std::abort();
    const FileListReadResult again = decodeFileList(encodeFileList(read.items));
    if (again.status != FileListReadResult::Status::Ok || again.items.size() != read.items.size())
        std::abort();
    const FileListReadResult third = decodeFileList(encodeFileList(again.items));
    if (third.status != FileListReadResult::Status::Ok || third.items != again.items)
        std::abort();
    std::vector<CFileListItem> queue;
    (void)mergeIntoQueue(queue, read.items);
    return 0;
}
