#pragma once
// The downloader's transfers on libcurl's multi interface, driven from the program's loop: one socket
// watch per direction curl asks for and one timer, so no thread waits and nothing polls.

#include <memory>

#include "download/transfer.h"

namespace tarnwick {

class Runtime;

// The service must outlive every transfer it started.
std::unique_ptr<TransferService> makeCurlTransfers(Runtime& rt);

}  // namespace tarnwick
