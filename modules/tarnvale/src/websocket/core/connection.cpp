#include "websocket/core/connection.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

#include "websocket/core/detail/close_code.hpp"
#include "websocket/core/detail/frame_parser.hpp"

namespace tarnvale::websocket {

namespace {

constexpr std::size_t kMaxCloseReason = kMaxControlPayload - 2;

Error invalid_utf8(const platform::Utf8Fault& fault) {
  return Error::utf8("invalid utf-8 sequence of " + std::to_string(fault.length) + " bytes from index " +
                     std::to_string(fault.index));
}

Error incomplete_utf8(std::uint64_t index) {
  return Error::utf8("incomplete utf-8 byte sequence from index " + std::to_string(index));
}

// Checks `text` with `validator` (which may hold the text's earlier pieces), and the text's
// end too when `complete`.
Result<void, Error> check_utf8(platform::Utf8Validator& validator, std::string_view text, bool complete) {
  if (auto fed = validator.feed(text); !fed) return unexpected(invalid_utf8(fed.error()));
  if (!complete) return {};
  if (auto ended = validator.finish(); !ended) return unexpected(incomplete_utf8(ended.error()));
  return {};
}

// The capacity for a message of `needed` bytes that has `capacity`: it grows with what
// arrives, not with what headers announce; up to 1 MiB in powers of two, then by an eighth at
// least, in whole MiB (mapped memory grows without a copy), so what it holds stays close to
// its size, and never past the largest message.
std::size_t message_capacity(std::size_t needed, std::size_t capacity) {
  constexpr std::size_t kMiB = 1 << 20;
  if (needed <= kMiB) return std::max<std::size_t>(std::bit_ceil(needed), 64);
  const std::size_t at_least = std::max(needed, capacity + capacity / 8);
  return std::min<std::size_t>((at_least + kMiB - 1) / kMiB * kMiB, kMaxMessageSize);
}

}  // namespace

Connection::Connection(Role role, std::uint64_t mask_seed, std::shared_ptr<InputBudget> budget)
    : role_(role), mask_state_(mask_seed | 1), account_(std::move(budget)) {}

std::span<unsigned char> Connection::input_space() {
  std::size_t wanted = InputBuffer::kIdleCapacity;
  if (frame_ && !is_control(frame_->opcode)) {
    const std::uint64_t due = frame_->payload_length - frame_received_;
    wanted = static_cast<std::size_t>(std::clamp<std::uint64_t>(due, wanted, kReadChunk));
  }
  auto space = in_.prepare_shared(wanted);
  return space.first(std::min(space.size(), wanted));
}

void Connection::commit_input(std::size_t n) {
  in_.commit(n);
  if (n != 0) needs_input_ = false;
}

void Connection::feed(std::string_view bytes) {
  auto space = in_.prepare(bytes.size());
  if (!bytes.empty()) std::memcpy(space.data(), bytes.data(), bytes.size());
  commit_input(bytes.size());
}

void Connection::end_of_input() {
  input_ended_ = true;
  needs_input_ = false;
}

bool Connection::needs_input() const {
  const bool reading = state_ == ConnectionState::active || state_ == ConnectionState::closed_by_us;
  return reading && needs_input_;
}

Result<std::optional<Event>, Error> Connection::fail(Error error) {
  state_ = ConnectionState::failed;
  release_input();
  return unexpected(std::move(error));
}

void Connection::release_input() {
  message_ = MessageBuffer();
  in_ = InputBuffer();
  frame_.reset();
  (void)account_.hold(0);
}

Result<std::optional<Event>, Error> Connection::need_more_input() {
  if (input_ended_) {
    // The peer closed TCP. After our close that ends the closing handshake; otherwise the
    // peer went away without one.
    if (state_ == ConnectionState::closed_by_us) {
      state_ = ConnectionState::terminated;
      return End{};
    }
    return fail(Error::protocol(std::string(kResetWithoutClosingHandshake)));
  }
  needs_input_ = true;
  return std::optional<Event>();
}

Result<std::optional<Event>, Error> Connection::next_event() {
  auto event = decode_event();
  in_.keep();
  if (event && !account_.hold(message_.capacity() + in_.capacity())) return fail(account_.refusal());
  return event;
}

Result<std::optional<Event>, Error> Connection::decode_event() {
  switch (state_) {
    case ConnectionState::failed:
    case ConnectionState::terminated:
      return unexpected(Error::already_closed());
    case ConnectionState::closed_by_peer:
    case ConnectionState::close_acknowledged:
      state_ = ConnectionState::terminated;
      return End{};
    case ConnectionState::active:
    case ConnectionState::closed_by_us:
      break;
  }
  if (account_.ended()) return fail(account_.refusal());
  // Each pass takes one frame, or what has arrived of one; the bytes decoded per call are
  // bounded by what one read brought in.
  for (;;) {
    if (!frame_) {
      auto header = parse_frame_header(in_.data(), in_.size(), role_);
      if (!header) return fail(std::move(header).error());
      if (!*header) return need_more_input();
      if (auto begun = begin_frame(**header); !begun) return fail(std::move(begun).error());
      frame_ = **header;
      frame_received_ = 0;
      in_.consume(frame_->header_size);
    }
    if (is_control(frame_->opcode)) {
      const auto length = static_cast<std::size_t>(frame_->payload_length);
      if (in_.size() < length) return need_more_input();
      std::string payload(reinterpret_cast<const char*>(in_.data()), length);
      if (frame_->masked) apply_mask(reinterpret_cast<unsigned char*>(payload.data()), length, frame_->mask, 0);
      in_.consume(length);
      const Opcode opcode = frame_->opcode;
      frame_.reset();
      return control_event(opcode, std::move(payload));
    }
    if (auto taken = take_data_payload(); !taken) return fail(std::move(taken).error());
    if (frame_received_ < frame_->payload_length) return need_more_input();
    const bool fin = frame_->fin;
    frame_.reset();
    if (fin) return finish_message();
  }
}

Result<void, Error> Connection::begin_frame(const FrameHeader& header) {
  if (is_control(header.opcode)) return {};
  if (header.opcode == Opcode::continuation) {
    if (!in_message_) return unexpected(Error::protocol("Continue frame but nothing to continue"));
  } else {
    if (in_message_) {
      return unexpected(Error::protocol("Received a new data frame while a fragmented message is incomplete"));
    }
    in_message_ = true;
    message_opcode_ = header.opcode;
    message_.clear();
    utf8_.reset();
  }
  const std::uint64_t total = message_.size() + header.payload_length;
  if (total > kMaxMessageSize) return unexpected(Error::message_too_long(total, kMaxMessageSize));
  return {};
}

// Moves what has arrived of the current data frame's payload into the message, unmasked,
// and checks a text's new bytes.
Result<void, Error> Connection::take_data_payload() {
  const std::uint64_t due = frame_->payload_length - frame_received_;
  const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(due, in_.size()));
  if (take == 0) return {};
  const std::size_t old_size = message_.size();
  if (old_size + take > message_.capacity()) {
    const std::size_t grown = message_capacity(old_size + take, message_.capacity());
    // The budget is asked first.
    if (!account_.hold(grown + in_.capacity())) return unexpected(account_.refusal());
    try {
      message_.reserve(grown);
    } catch (const std::bad_alloc&) {
      return unexpected(Error::capacity("Out of memory for a message of " + std::to_string(grown) + " bytes"));
    }
  }
  message_.append(reinterpret_cast<const char*>(in_.data()), take);
  auto* piece = reinterpret_cast<unsigned char*>(message_.data()) + old_size;
  if (frame_->masked) apply_mask(piece, take, frame_->mask, frame_received_);
  in_.consume(take);
  frame_received_ += take;
  if (message_opcode_ != Opcode::text) return {};
  return check_utf8(utf8_, message_.view().substr(old_size), false);
}

Result<std::optional<Event>, Error> Connection::finish_message() {
  in_message_ = false;
  MessageBuffer payload = std::move(message_);
  if (message_opcode_ == Opcode::binary) return Binary{std::move(payload)};
  if (auto complete = check_utf8(utf8_, {}, true); !complete) return fail(std::move(complete).error());
  return Text{std::move(payload)};
}

Result<std::optional<Event>, Error> Connection::control_event(Opcode opcode, std::string payload) {
  if (opcode == Opcode::ping) {
    // An unanswered earlier ping only gets the answer to the newest one.
    if (state_ == ConnectionState::active) pong_ = encode_frame(Opcode::pong, payload, next_mask());
    return Ping{std::move(payload)};
  }
  if (opcode == Opcode::pong) return Pong{std::move(payload)};

  Close close;
  if (payload.size() == 1) return fail(Error::protocol("Invalid close sequence"));
  if (payload.size() >= 2) {
    close.code = static_cast<std::uint16_t>((static_cast<unsigned char>(payload[0]) << 8) |
                                            static_cast<unsigned char>(payload[1]));
    close.reason = payload.substr(2);
    platform::Utf8Validator reason_check;
    auto valid = check_utf8(reason_check, close.reason, true);
    if (!valid) return fail(std::move(valid).error());
  }
  if (state_ == ConnectionState::active) {
    // Nothing more is read: an unfinished message will not be finished.
    state_ = ConnectionState::closed_by_peer;
    release_input();
    const Close answer = close_answer(close);
    close_ = encode_frame(Opcode::close, close_payload(answer.code, answer.reason), next_mask());
  } else {
    state_ = ConnectionState::close_acknowledged;
  }
  return close;
}

Result<void, Error> Connection::check_can_send() const {
  switch (state_) {
    case ConnectionState::active: return {};
    case ConnectionState::failed:
    case ConnectionState::terminated: return unexpected(Error::already_closed());
    default: return unexpected(Error::protocol(std::string(kSendAfterClosing)));
  }
}

Result<EncodedHeader, Error> Connection::frame_message(Opcode opcode, std::string& payload) {
  if (auto ok = check_can_send(); !ok) return unexpected(std::move(ok).error());
  const auto mask = next_mask();
  if (mask) apply_mask(reinterpret_cast<unsigned char*>(payload.data()), payload.size(), *mask, 0);
  return encode_frame_header(true, opcode, payload.size(), mask);
}

Result<EncodedHeader, Error> Connection::frame_unmasked(Opcode opcode, std::uint64_t size) const {
  if (role_ != Role::server) throw std::logic_error("a client masks every payload it sends");
  if (auto ok = check_can_send(); !ok) return unexpected(std::move(ok).error());
  return encode_frame_header(true, opcode, size, std::nullopt);
}

Result<void, Error> Connection::queue_ping(std::string_view payload) {
  if (auto ok = check_can_send(); !ok) return ok;
  if (payload.size() > kMaxControlPayload) {
    return unexpected(Error::protocol(std::string(kControlFrameTooBig)));
  }
  ping_ = encode_frame(Opcode::ping, payload, next_mask());
  return {};
}

Result<void, Error> Connection::queue_close(std::uint16_t code, std::string_view reason) {
  if (state_ == ConnectionState::failed || state_ == ConnectionState::terminated) {
    return unexpected(Error::already_closed());
  }
  if (state_ != ConnectionState::active) return {};
  if (reason.size() > kMaxCloseReason) {
    return unexpected(Error::protocol(std::string(kControlFrameTooBig)));
  }
  close_ = encode_frame(Opcode::close, close_payload(code, reason), next_mask());
  state_ = ConnectionState::closed_by_us;
  return {};
}

void Connection::control_written() {
  ping_ = std::string();
  pong_ = std::string();
  close_ = std::string();
}

void Connection::mark_failed() {
  state_ = ConnectionState::failed;
  release_input();
}

std::optional<MaskKey> Connection::next_mask() {
  if (role_ == Role::server) return std::nullopt;
  // xorshift64: masks only need to be unpredictable to intermediaries, not secret.
  mask_state_ ^= mask_state_ << 13;
  mask_state_ ^= mask_state_ >> 7;
  mask_state_ ^= mask_state_ << 17;
  MaskKey key;
  for (std::size_t i = 0; i < 4; ++i) key[i] = static_cast<unsigned char>(mask_state_ >> (8 * i));
  return key;
}

}  // namespace tarnvale::websocket
