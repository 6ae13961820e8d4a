// Helpers over XML element trees (TNode) that other layers use to read sections of project
// files: finding nodes by name, reading values and attributes with clear errors.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "projectfiles/nodes.h"

namespace nxs {

// Splits at spaces and tabs, joins the pieces with single spaces; the result is trimmed.
std::string CollapseWhitespace(std::string_view Text);
// Depth first, the node itself first; the name compares exactly. Null when not found.
TNode* FindNode(TNode* Node, std::string_view Name);
// Every such node; the search does not descend into a match.
void FindNodes(TNode* Node, std::string_view Name, std::vector<TNode*>& List);
// The first child of that name (exact), or null.
TNode* FindChildNode(TNode* Node, std::string_view Name);
// The node's text; "" for no node.
std::string NodeValueToString(const TNode* Node);
// The attribute's value when the node has it.
std::optional<std::string> FindAttributeNode(const TNode* Node, std::string_view Name);
// Node itself when it is not null; else raises EProjectFileException
// "XML Project section, %s, not found" with Name.
TNode& Expect(TNode* Node, std::string_view Name);
// The attribute's value; raises EProjectFileException
// "Unable to locate attribute %s, in XML node %s" when the node lacks it.
std::string ExpectAttributeNode(const TNode& Node, std::string_view Name);
// Every descendant (not the node itself) of that name, in document order.
std::vector<TNode*> GetElementsByTagName(TNode* Node, std::string_view Name);
// Appends a deep copy of Source to Target's children and returns it.
TNode* CopyNode(const TNode& Source, TNode& Target);

}  // namespace nxs
