#pragma once

// Loopback servers and helpers for integration tests. Each server fixture
// starts on a free 127.0.0.1 port, is ready when its constructor returns
// (or throws std::runtime_error with the server's log), and is stopped and
// reaped by its destructor. Typical use:
//
//   testsupport::ScratchDir files;
//   auto source = files.writeRandomFile("a.bin", 3 << 20, 7);
//   testsupport::NginxServer http(files.path());
//   download(http.url("a.bin"), target);
//   EXPECT_EQ(testsupport::sha256OfFile(target), testsupport::sha256OfFile(source)) << http.log();

#include "faultserver.h"
#include "nginxserver.h"
#include "programrun.h"
#include "pyftpdserver.h"
#include "scratchdir.h"
#include "sha256.h"
#include "testcertificates.h"
#include "vsftpdserver.h"
