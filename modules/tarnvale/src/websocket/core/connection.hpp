// The protocol state of one WebSocket connection, without I/O: received bytes go in, events
// and errors come out one at a time; outgoing frames are encoded and control frames that
// answer the peer are queued for the next write.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/result.hpp"
#include "platform/utf8.hpp"
#include "websocket/core/error.hpp"
#include "websocket/core/event.hpp"
#include "websocket/core/frame.hpp"
#include "websocket/core/frame_writer.hpp"
#include "websocket/core/input_buffer.hpp"
#include "websocket/core/input_budget.hpp"
#include "websocket/core/message_buffer.hpp"

namespace tarnvale::websocket {

enum class ConnectionState {
  active,
  closed_by_us,        // our close is sent; the peer's answer is awaited while reading goes on
  closed_by_peer,      // the peer's close is read and its answer queued; nothing more is read
  close_acknowledged,  // the peer has answered our close
  terminated,          // End has been yielded
  failed,              // an error has ended the connection
};

class Connection {
 public:
  // Largest read that one look at the socket makes.
  static constexpr std::size_t kReadChunk = 128 * 1024;

  // `mask_seed` seeds the frame masks of the client role; the server role never masks. The
  // input not yet decoded and the message not yet complete count against `budget`, if any.
  explicit Connection(Role role, std::uint64_t mask_seed = 0, std::shared_ptr<InputBudget> budget = nullptr);

  Role role() const { return role_; }
  ConnectionState state() const { return state_; }

  // Where the next read from the socket goes: at most kReadChunk bytes, more than 4 KiB
  // only while a frame's payload is still due. While nothing undecoded is held it is a space
  // that the thread's connections share, so commit_input() and next_event() follow the read
  // before any other connection of the thread reads.
  std::span<unsigned char> input_space();
  // `n` bytes were read into input_space().
  void commit_input(std::size_t n);
  // Copies received bytes in (bytes that arrived behind the opening handshake).
  void feed(std::string_view bytes);
  // The peer has closed its side of the TCP connection.
  void end_of_input();
  // True when next_event() cannot make progress until more input (or its end) arrives.
  bool needs_input() const;

  // Decodes at most one event from the bytes received so far; none when they hold no complete
  // event. The peer's ping and close get their answers queued. An error fails the connection:
  // nothing is queued for it, and every later call yields "already closed". What is left
  // undecoded is kept by the connection itself.
  Result<std::optional<Event>, Error> next_event();

  // The header for one whole data message as one final frame. In the client role the payload
  // is masked in place. Refused once a close has been sent or received.
  Result<EncodedHeader, Error> frame_message(Opcode opcode, std::string& payload);
  // The same for a payload of `size` bytes that goes out as it is: the server role only, as a
  // client masks every payload.
  Result<EncodedHeader, Error> frame_unmasked(Opcode opcode, std::uint64_t size) const;
  // Queues a ping (payload at most 125 bytes).
  Result<void, Error> queue_ping(std::string_view payload);
  // Queues our close with a code and a reason (at most 123 bytes) if the connection is still
  // open; once a close has been sent or received there is nothing more to queue.
  Result<void, Error> queue_close(std::uint16_t code, std::string_view reason);

  // The control frames waiting to be written, in the order they go out.
  std::array<std::string_view, 3> queued_control() const { return {ping_, pong_, close_}; }
  bool has_queued_control() const { return !ping_.empty() || !pong_.empty() || !close_.empty(); }
  // The queued control frames have been written.
  void control_written();
  // A write failed: the connection is over.
  void mark_failed();

  // What the connection holds of the budget. Once the budget has ended it, next_event()
  // yields its refusal.
  InputAccount& input_account() { return account_; }
  const InputAccount& input_account() const { return account_; }

 private:
  Result<std::optional<Event>, Error> decode_event();
  Result<std::optional<Event>, Error> fail(Error error);
  Result<std::optional<Event>, Error> need_more_input();
  Result<void, Error> begin_frame(const FrameHeader& header);
  Result<void, Error> take_data_payload();
  Result<std::optional<Event>, Error> control_event(Opcode opcode, std::string payload);
  Result<std::optional<Event>, Error> finish_message();
  Result<void, Error> check_can_send() const;
  // Lets go of all input held, as the connection will read no more.
  void release_input();
  std::optional<MaskKey> next_mask();

  Role role_;
  ConnectionState state_ = ConnectionState::active;
  InputBuffer in_;
  bool input_ended_ = false;
  bool needs_input_ = true;

  std::optional<FrameHeader> frame_;  // header decoded, payload not yet complete
  std::uint64_t frame_received_ = 0;  // payload bytes of frame_ taken so far

  bool in_message_ = false;
  Opcode message_opcode_ = Opcode::text;
  MessageBuffer message_;
  platform::Utf8Validator utf8_;

  std::string ping_;
  std::string pong_;
  std::string close_;
  std::uint64_t mask_state_;
  InputAccount account_;
};

}  // namespace tarnvale::websocket
