#pragma once
// The text a reader sees of an HTML part, for mail whose only text is HTML
// or that carries an HTML part beside others. libxml2 reads the markup; what
// a reader sees of the tree it gives is written here, since libxml2 has no
// rendering to text (its node content runs every line together).
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace nmail::html {

// UTF-8 HTML to UTF-8 text, read with libxml2's HTML parser (which mends
// broken markup as browsers do): markup, style sheets, scripts, the head and
// comments left out; the blanks of running text collapsed as a browser
// collapses them (kept as they are inside <pre>); one line break for each
// <br> and around each block element (paragraphs, divisions, list items,
// table rows, headings, ...); table cells apart by a blank; entities
// decoded, a no-break space as a blank; a link's target written beside its
// words as " <target>" unless it is the words themselves or a place in the
// page. Lines are ended by CR LF, the last one too; blank lines at either end
// are left out.
std::string toText(std::string_view utf8Html);


// The same for a large HTML text, given a piece at a time (each ending at a
// line end): the text comes out a piece at a time, lines ended by CR LF,
// and neither the markup nor the text is ever held whole. libxml2 reads
// the markup as a stream of elements here, not as a tree.
class TextStream {
 public:
  explicit TextStream(std::function<void(std::string_view)> out);
  ~TextStream();
  TextStream(const TextStream&) = delete;
  TextStream& operator=(const TextStream&) = delete;
  void feed(std::string_view utf8Html);
  void finish();

  struct State;

 private:
  std::unique_ptr<State> s_;
};

}  // namespace nmail::html
