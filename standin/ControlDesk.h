#pragma once

#include "Router.h"

namespace standin {

class StandinService;

// The "/__control/" routes that tests use to steer the stand-in and to read what it received.
// Served only with --test-control; they need no session.
//
//   POST /__control/fault        {"path", "method"?, "kind", "status"?, "delay_ms"?, "count"?}
//   POST /__control/clear        drops every fault
//   POST /__control/scan/complete {"id" | "latest", "timecode"?, "format"?, "tz_offset_min"?,
//                                  "seen_at_ms"?, "status"?, "raw"?}
//   POST /__control/scan/fail    {"id"}
//   POST /__control/verify-mode  {"sid"?: bool, "set_cookie"?: bool}
//   POST /__control/phones       {"pushed": n}
//   POST /__control/next-id      {"kind": "shoot" | "scan", "id"}
//   GET  /__control/state
class ControlDesk {
public:
    static constexpr const char* kPrefix = "__control";

    explicit ControlDesk(StandinService& service) : m_service(service) {}

    void registerRoutes(Router& router);

private:
    Reply fault(const Call& call);
    Reply clear(const Call& call);
    Reply completeScan(const Call& call);
    Reply failScan(const Call& call);
    Reply verifyMode(const Call& call);
    Reply phones(const Call& call);
    Reply nextId(const Call& call);
    Reply state(const Call& call) const;

    StandinService& m_service;
};

} // namespace standin
