#pragma once
// The downloader's transfers on libcurl's multi interface, driven from the program's loop: one socket
// watch per direction curl asks for and one timer, so nothing polls. The local files are written
// (DiskWriter) and read (UploadSource) on threads of their own, so no disk or file system holds the loop.

#include <memory>

#include "download/transfer.h"
#include "platform/curl/disk_writer.h"

namespace tarnwick {

class Runtime;

// The service must outlive every transfer it started. `disk` sets how downloads reach the disk.
std::unique_ptr<TransferService> makeCurlTransfers(Runtime& rt, DiskWriter::Options disk = {});

}  // namespace tarnwick
