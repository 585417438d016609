#include "storage/XmlDocument.h"

#include "function/SafeFiles.h"
#include "function/TextEncoding.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlsave.h>
#include <iconv.h>

#include <algorithm>
#include <filesystem>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string_view>

namespace vemro {
namespace {

constexpr const char* DeclaredEncoding = "GB2312";

const xmlChar* X(const std::string& S) { return reinterpret_cast<const xmlChar*>(S.c_str()); }

std::string TakeString(xmlChar* Text) {
  std::string Result = Text ? reinterpret_cast<const char*>(Text) : "";
  xmlFree(Text);
  return Result;
}

void InitLibxml() {
  static std::once_flag Once;
  std::call_once(Once, [] { xmlInitParser(); });
}

bool IsXmlControl(char C) {
  return static_cast<unsigned char>(C) < 0x20 && C != '\t' && C != '\n' && C != '\r';
}

bool IsXmlText(const std::string& Value) { return IsValidUtf8(Value) && std::ranges::none_of(Value, IsXmlControl); }

// Text XML 1.0 can hold: UTF-8 (stray GBK bytes are decoded as such) without the control
// characters a well-formed document cannot contain even as references.
std::string XmlText(const std::string& Value) {
  std::string Result = IsValidUtf8(Value) ? Value : GbkToUtf8(Value);
  std::erase_if(Result, IsXmlControl);
  return Result;
}

std::string ReadWholeFile(const std::string& FileName) {
  const std::unique_ptr<FILE, decltype(&std::fclose)> In(std::fopen(FileName.c_str(), "rb"), std::fclose);
  std::string Bytes;
  char Buffer[65536];
  for (size_t Got; In && (Got = std::fread(Buffer, 1, sizeof Buffer, In.get())) > 0;) Bytes.append(Buffer, Got);
  if (!In || std::ferror(In.get())) throw TXmlParseError("cannot read " + FileName + ": " + std::strerror(errno));
  return Bytes;
}

xmlDocPtr Parse(const std::string& FileName) {
  const std::string Bytes = ReadWholeFile(FileName);
  const std::unique_ptr<xmlParserCtxt, decltype(&xmlFreeParserCtxt)> Context(xmlNewParserCtxt(),
                                                                            xmlFreeParserCtxt);
  if (!Context) throw TXmlParseError("out of memory reading " + FileName);
  xmlDocPtr Doc = xmlCtxtReadMemory(Context.get(), Bytes.data(), static_cast<int>(Bytes.size()),
                                    FileName.c_str(), nullptr,
                                    XML_PARSE_NONET | XML_PARSE_NOBLANKS | XML_PARSE_NOERROR |
                                        XML_PARSE_NOWARNING);
  if (Doc && xmlDocGetRootElement(Doc)) return Doc;
  xmlFreeDoc(Doc);
  const xmlError* Error = xmlCtxtGetLastError(Context.get());
  std::string Message = Error && Error->message ? Error->message : "not an XML document";
  while (!Message.empty() && Message.back() == '\n') Message.pop_back();
  throw TXmlParseError(FileName + ":" + std::to_string(Error ? Error->line : 0) + ": " + Message);
}

// The declaration libxml2 writes for the document, naming the declared encoding.
std::string XmlDeclaration(xmlDocPtr Doc) {
  std::string Result = "<?xml version=\"";
  Result += Doc->version ? reinterpret_cast<const char*>(Doc->version) : "1.0";
  Result += "\" encoding=\"";
  Result += DeclaredEncoding;
  Result += '"';
  if (Doc->standalone == 0) Result += " standalone=\"no\"";
  if (Doc->standalone == 1) Result += " standalone=\"yes\"";
  return Result + "?>\n";
}

bool IsAscii(char C) { return static_cast<unsigned char>(C) < 0x80; }

// UTF-8 to the declared encoding as libxml2's encoder writes it: a character the encoding
// lacks becomes a decimal character reference. Converting once here, and passing ASCII
// (most of a playlist) straight through, is much cheaper than the encoder's chunked output.
void AppendInDeclaredEncoding(std::string& Result, std::string_view Utf8) {
  const iconv_t Opened = iconv_open(DeclaredEncoding, "UTF-8");
  if (Opened == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("no converter");
  const std::unique_ptr<void, decltype(&iconv_close)> Converter(Opened, iconv_close);
  Result.reserve(Result.size() + Utf8.size());
  const char* In = Utf8.data();
  const char* const End = In + Utf8.size();
  while (In != End) {
    const char* Run = std::find_if_not(In, End, IsAscii);
    Result.append(In, Run);
    // A run of bytes from 0x80 up holds whole UTF-8 characters.
    size_t Left = static_cast<size_t>(std::find_if(Run, End, IsAscii) - Run);
    for (In = Run; Left > 0;) {
      char Chunk[4096];
      char* Out = Chunk;
      size_t Room = sizeof Chunk;
      const size_t Converted = iconv(Converter.get(), const_cast<char**>(&In), &Left, &Out, &Room);
      Result.append(Chunk, Out);
      if (Converted != static_cast<size_t>(-1) || errno == E2BIG) continue;
      int Length = static_cast<int>(Left);
      const int Code = xmlGetUTF8Char(reinterpret_cast<const unsigned char*>(In), &Length);
      if (Code <= 0) throw std::runtime_error("not UTF-8 text");
      Result += "&#" + std::to_string(Code) + ";";
      In += Length;
      Left -= static_cast<size_t>(Length);
    }
  }
}

// The document as it goes to disk: libxml2's indented form, written in UTF-8 and converted
// once, behind the declaration libxml2 writes.
std::string Serialised(xmlDocPtr Doc) {
  const std::unique_ptr<xmlBuffer, decltype(&xmlBufferFree)> Buffer(xmlBufferCreate(), xmlBufferFree);
  // Grown by doubling rather than to the exact size at every flush.
  if (Buffer) xmlBufferSetAllocationScheme(Buffer.get(), XML_BUFFER_ALLOC_DOUBLEIT);
  xmlSaveCtxtPtr Saver = Buffer ? xmlSaveToBuffer(Buffer.get(), "UTF-8", XML_SAVE_FORMAT | XML_SAVE_NO_DECL) : nullptr;
  if (!Saver) throw std::runtime_error("out of memory");
  const long Written = xmlSaveDoc(Saver, Doc);
  if (xmlSaveClose(Saver) < 0 || Written < 0) throw std::runtime_error("cannot serialise the document");
  std::string Result = XmlDeclaration(Doc);
  AppendInDeclaredEncoding(Result, {reinterpret_cast<const char*>(xmlBufferContent(Buffer.get())),
                                    static_cast<size_t>(xmlBufferLength(Buffer.get()))});
  return Result;
}

}  // namespace

TXmlDocument::TXmlDocument(const std::string& FileName, const std::string& RootName)
    : FFileName(FileName) {
  InitLibxml();
  if (!FileName.empty() && std::filesystem::exists(FileName)) {
    FDocument = Parse(FileName);
  } else {
    FDocument = xmlNewDoc(X("1.0"));
    xmlDocSetRootElement(FDocument, xmlNewDocNode(FDocument, nullptr, X(RootName), nullptr));
  }
  xmlFree(const_cast<xmlChar*>(FDocument->encoding));
  FDocument->encoding = xmlStrdup(X(DeclaredEncoding));
}

TXmlDocument::~TXmlDocument() {
  try {
    Save();
  } catch (const TXmlError&) {
  }
  xmlFreeDoc(FDocument);
}

TXmlNode TXmlDocument::Root() const { return xmlDocGetRootElement(FDocument); }

TXmlNode TXmlDocument::FirstChild(TXmlNode Parent, const std::string& Name) {
  for (TXmlNode Child = Parent->children; Child; Child = Child->next)
    if (Child->type == XML_ELEMENT_NODE && Name == reinterpret_cast<const char*>(Child->name)) return Child;
  return nullptr;
}

TXmlNode TXmlDocument::AppendChild(TXmlNode Parent, const std::string& Name) {
  if (xmlValidateName(X(Name), 0) != 0) throw std::invalid_argument("not an XML name: \"" + Name + "\"");
  return xmlNewChild(Parent, nullptr, X(Name), nullptr);
}

TXmlNode TXmlDocument::Find(const std::string& Path, bool Create) const {
  TXmlNode Node = Root();
  for (size_t From = 0; Node;) {
    const size_t Slash = Path.find('/', From);
    const std::string Name = Path.substr(From, Slash == std::string::npos ? std::string::npos : Slash - From);
    TXmlNode Child = FirstChild(Node, Name);
    Node = Child || !Create ? Child : AppendChild(Node, Name);
    if (Slash == std::string::npos) break;
    From = Slash + 1;
  }
  return Node;
}

std::string TXmlDocument::Attribute(TXmlNode Node, const std::string& Name) {
  return TakeString(xmlGetNoNsProp(Node, X(Name)));
}

bool TXmlDocument::HasAttribute(TXmlNode Node, const std::string& Name) {
  return xmlHasNsProp(Node, X(Name), nullptr) != nullptr;
}

void TXmlDocument::SetAttribute(TXmlNode Node, const std::string& Name, const std::string& Value) {
  if (xmlValidateName(X(Name), 0) != 0) throw std::invalid_argument("not an XML name: \"" + Name + "\"");
  xmlSetProp(Node, X(Name), X(XmlText(Value)));
}

void TXmlDocument::AddAttribute(TXmlNode Node, const char* Name, const std::string& Value) {
  // Most values are clean already; they go in without a cleaned copy.
  const xmlChar* AttrName = reinterpret_cast<const xmlChar*>(Name);
  if (IsXmlText(Value)) xmlNewProp(Node, AttrName, X(Value));
  else xmlNewProp(Node, AttrName, X(XmlText(Value)));
}

std::string TXmlDocument::Text(TXmlNode Node) {
  std::string Result;
  for (TXmlNode Child = Node->children; Child; Child = Child->next)
    if (Child->type == XML_TEXT_NODE || Child->type == XML_CDATA_SECTION_NODE)
      Result += reinterpret_cast<const char*>(Child->content);
  return Result;
}

void TXmlDocument::SetText(TXmlNode Node, const std::string& Value) {
  for (TXmlNode Child = Node->children, Next = nullptr; Child; Child = Next) {
    Next = Child->next;
    if (Child->type == XML_TEXT_NODE || Child->type == XML_CDATA_SECTION_NODE) {
      xmlUnlinkNode(Child);
      xmlFreeNode(Child);
    }
  }
  // The text goes first, so that the child elements after it keep their places.
  TXmlNode Text = xmlNewDocText(Node->doc, X(XmlText(Value)));
  if (Node->children) xmlAddPrevSibling(Node->children, Text);
  else xmlAddChild(Node, Text);
}

void TXmlDocument::RemoveChildren(TXmlNode Node) {
  xmlFreeNodeList(Node->children);
  Node->children = Node->last = nullptr;
}

std::string TXmlDocument::Bytes() const {
  try {
    return Serialised(FDocument);
  } catch (const std::runtime_error& Error) {
    throw TXmlSaveError("cannot write " + FFileName + " as " + DeclaredEncoding + ": " + Error.what());
  }
}

void TXmlDocument::Save() {
  if (!FModified || FFileName.empty()) return;
  const std::string Text = Bytes();
  try {
    WriteFileAtomically(FFileName, Text);
  } catch (const std::runtime_error& Error) {
    throw TXmlSaveError(Error.what());
  }
  FModified = false;
}

}  // namespace vemro
