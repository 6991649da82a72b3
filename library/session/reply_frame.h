// Assembly of the site server's reply frames and the texts the session builds
// and splits. Platform-free: built in both configurations and tested natively.
//
// Reply frames arrive in whatever chunks the socket hands over. The first
// chunk of a reply must begin with "[BEGIN]"; the frame is cut at the first
// "[END]". The assembler keeps the session's reply state (Receiving,
// ReplyStarted, ReceivedData) so that the socket side only feeds it bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quorlane {

class ReplyAssembler {
 public:
  /// A reply that grows beyond this without "[END]" is dropped and the
  /// connection closed, so an endless reply cannot exhaust the host's memory.
  static constexpr std::size_t kMaxReplyBytes = 16u * 1024u * 1024u;

  enum class ChunkResult { Consumed, Overflow };

  /// One chunk as the socket delivered it (ClientSocketRead steps 3 and 4).
  [[nodiscard]] ChunkResult ClientSocketRead(std::string_view chunk);
  /// Adds a chunk to the frame being assembled and cuts it at "[END]".
  void AppendReceivedData(std::string_view chunk);

  /// Before each send: idle, nothing started, nothing assembled.
  void ResetForSend();
  /// The connection closed: an incomplete reply can never complete, so it is
  /// forgotten and Receiving cleared (otherwise every later operation would
  /// refuse to start).
  void ConnectionClosed();

  /// The payload of a finished wait for `tag`: empty while a reply is still
  /// incomplete or when the tag is absent; otherwise the text after the
  /// tag's first occurrence, which also stays in ReceivedData.
  [[nodiscard]] std::string TakePayload(std::string_view tag);

  [[nodiscard]] bool Receiving() const { return m_receiving; }
  [[nodiscard]] bool ReplyStarted() const { return m_replyStarted; }
  [[nodiscard]] bool ReplyComplete() const { return m_replyStarted && !m_receiving; }
  [[nodiscard]] const std::string& ReceivedData() const { return m_receivedData; }

 private:
  bool m_receiving = false;
  bool m_replyStarted = false;
  std::string m_receivedData;
  // Bytes received while idle that are a proper beginning of "[BEGIN]": a
  // reply whose first segment is shorter than the marker is joined to what
  // follows instead of being lost.
  std::string m_heldStart;
};

/// Splits at every occurrence of `separator`: 'Y;a;b;' gives Y, a, b; the
/// empty text gives no fields; a text without separator gives itself.
[[nodiscard]] std::vector<std::string> SplitFields(std::string_view text, std::string_view separator);

/// Empty once leading and trailing spaces and control characters are removed.
[[nodiscard]] bool IsBlankText(std::string_view text);
/// Leading and trailing spaces and control characters removed.
[[nodiscard]] std::string TrimText(std::string_view text);

/// A server text made only of "." and digits is opened by address; anything
/// else by host name.
[[nodiscard]] bool IsDottedAddressText(std::string_view server);

/// "[BEGIN]" + body + "[END]".
[[nodiscard]] std::string FrameRequest(std::string_view body);
/// tag + each field followed by ";".
[[nodiscard]] std::string RequestBody(std::string_view tag, const std::vector<std::string>& fields);

}  // namespace quorlane
