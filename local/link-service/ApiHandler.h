#pragma once

#include "common/SimpleHttpServer.h"
#include "link-service/LinkService.h"

// The REST API: register and delete installs; mint, list and end links. Every request is
// logged and journaled, and may be held up or answered by a fault armed by the test controls.
class ApiHandler {
public:
    explicit ApiHandler(LinkService& service) : service_(service) {}
    void operator()(const HttpRequest& request, const HttpResponder& responder);

private:
    void handle(const HttpRequest& request, const HttpResponder& responder);

    LinkService& service_;
};
