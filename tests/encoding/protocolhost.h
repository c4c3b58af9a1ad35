#pragma once

// A connection without a socket for the protocol tests: what is sent lands in
// a SendBuffer that nobody drains (what does not fit is taken back);
// failures, deliveries and rejected frames are recorded, and it plays the
// endpoint the login talks to.

#include "ipcprotocol.h"
#include "message.h"
#include "sendbuffer.h"

#include <functional>
#include <string>
#include <vector>

struct HostStub : IPCProtocolHost {
    std::vector<Message> delivered;
    std::vector<std::string> failures;
    std::vector<std::string> rejected;
    SendBuffer sent;
    std::function<void(const Message &)> onDeliver;
    std::function<void(const std::string &)> onFail;

    // the endpoint behind the connection, as the login sees it
    unsigned version = 1;
    std::string user = "user";
    std::string secret;
    int authenticated = 0;
    int refused = 0;
    int activity = 0;

    void fail(const std::string &reason) override
    {
        failures.push_back(reason);
        if (onFail)
            onFail(reason);
    }
    void deliver(const Message &message) override
    {
        delivered.push_back(message);
        if (onDeliver)
            onDeliver(message);
    }
    SendBuffer *send_buffer() override { return &sent; }
    void send_appended(size_t size) override
    {
        if (sent.overLimit()) {
            sent.dropBack(size);
            fail(SendBuffer::OverflowText);
        }
    }
    void frame_rejected(const std::string &reason) override { rejected.push_back(reason); }
    unsigned protocol_version() override { return version; }
    void set_protocol_version(unsigned v) override { version = v; }
    std::string user_name() override { return user; }
    std::string password() override { return secret; }
    void on_authenticated() override { ++authenticated; }
    void on_authentication_failed() override { ++refused; }
    void note_activity() override { ++activity; }

    std::string sentText() const { return std::string(sent.data(), sent.size()); }
    /** What was sent, read back as messages; the buffer is emptied. */
    std::vector<Message> takeSent()
    {
        std::vector<Message> out;
        const std::string text = sentText();
        size_t start = 0;
        for (size_t end = text.find('\0'); end != std::string::npos; end = text.find('\0', start)) {
            out.emplace_back();
            out.back().parse(text.data() + start, end - start);
            start = end + 1;
        }
        sent.clear();
        return out;
    }
};
