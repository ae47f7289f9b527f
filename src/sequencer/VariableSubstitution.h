// Inline equations between "%" signs in command texts, answer variables in angle brackets, and
// the lookup and storing of variables in the run, test-case and test-set tables.
#pragma once

#include "report/ReportLines.h"
#include "testdef/TestModel.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace zep {

// Which table a variable was found in.
enum VariableSource : int { FromSetVariables = 0, FromCaseVariables = 1, FromRunVariables = 2 };

// The line's command text with every inline equation replaced by its value. Sets the line's
// ErrorText ("(OK)" or "PARS ERROR") and ErrorDetail (each failed equation's message after a tab);
// isFile tells that an equation yielded the content of a file.
std::string SubstituteEquations(const TestModel& model, CommandLine& line, bool& isFile);

// The value of one equation: a number as text, the text of a text variable, or the content of the
// file a file variable names. errorText is empty on success.
std::string EvaluateEquation(const TestModel& model, std::string_view equation, std::string& errorText,
                             bool& isFile);

// Removes the first "<name>" from a command text and returns the rest, the parts around it joined
// without a blank; name is empty when there is none. A "<" without ">" is reported as a parser
// error and gives an empty text.
std::string ExtractAnswerVariable(std::string_view text, std::string& name, ReportContext& context);

// Looks a variable up by reference (a name, optionally with an element index as in Level[2]) in
// RunVariables, CaseVariables and SetVariables, in that order. With an index inside the list,
// spec's Value is that element.
bool FindVariable(const TestModel& model, std::string_view reference, ResultSpec& spec, int& source);

// The result kind of a variable (same search); NoResult when there is no such variable.
int32_t FindVariableKind(const TestModel& model, std::string_view name);

// Stores a result under the name in RunVariables: every record of that name, or a new one.
void SetRunVariable(TestModel& model, std::string_view name, const ResultSpec& spec);

// A computed value as commands carry it: the shortest text that reads back as the same double,
// with a point as decimal separator whatever the locale ("110", "-22.5", "1E+21").
std::string CommandNumberText(double value);

} // namespace zep
