#include "storage/XmlDocument.h"

#include "function/SafeFiles.h"
#include "function/TextEncoding.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <filesystem>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>

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
  xmlNewProp(Node, reinterpret_cast<const xmlChar*>(Name), X(XmlText(Value)));
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

void TXmlDocument::Save() {
  if (!FModified || FFileName.empty()) return;
  xmlChar* Bytes = nullptr;
  int Size = 0;
  xmlDocDumpFormatMemoryEnc(FDocument, &Bytes, &Size, DeclaredEncoding, 1);
  const std::unique_ptr<xmlChar, void (*)(void*)> Owned(Bytes, xmlFree);
  if (!Bytes || Size <= 0) throw TXmlSaveError("cannot write " + FFileName + " as " + DeclaredEncoding);
  try {
    WriteFileAtomically(FFileName, std::string(reinterpret_cast<const char*>(Bytes), static_cast<size_t>(Size)));
  } catch (const std::runtime_error& Error) {
    throw TXmlSaveError(Error.what());
  }
  FModified = false;
}

}  // namespace vemro
