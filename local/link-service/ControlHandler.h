#pragma once

#include "common/SimpleHttpServer.h"
#include "link-service/LinkService.h"

// The test controls, on their own port that the public side never reaches:
//   POST   /faults                   arm a fault: {"path", "method"?, "scope"? ("api"|"edge"),
//                                    "status"?, "body"?, "delay"? (s), "hang"?, "count"?}
//   DELETE /faults                   disarm all faults
//   GET    /requests[?scope=api|edge] what the service received; DELETE /requests forgets it
//   POST   /installs/<id>/revoke     make the service refuse an install (401 from then on)
//   POST   /links/<host>/end         end a link at the service side
//   POST   /tunnels/<id>/drop        cut a tunnel's connection (the client reconnects)
//   GET    /state                    installs (with their tunnel's connection) and links
class ControlHandler {
public:
    explicit ControlHandler(LinkService& service) : service_(service) {}
    void operator()(const HttpRequest& request, const HttpResponder& responder);

private:
    int handle(const HttpRequest& request, const HttpResponder& responder);

    LinkService& service_;
};
