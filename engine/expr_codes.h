// The numbers of the compiled expression form, shared by the scanner, the
// parser and the evaluation machine: value types, token numbers and opcodes.
//
// A function's token number doubles as its opcode; a field token's number is
// the opcode that reads the field. Single-character tokens are their own
// character codes.
#ifndef SV_ENGINE_EXPR_CODES_H_
#define SV_ENGINE_EXPR_CODES_H_

#include <cstddef>

namespace sv::expr {

// Value types; constants and working-stack entries carry them, and the
// parser types every sub-expression with them.
constexpr int kTypeC = 331;
constexpr int kTypeN = 332;
constexpr int kTypeL = 333;
constexpr int kTypeD = 334;
constexpr int kTypeM = 335;

// Tokens of the built-in functions (and their opcodes).
constexpr int kTokAbs = 257;
constexpr int kTokAsc = 259;
constexpr int kTokAt = 261;
constexpr int kTokCdow = 264;
constexpr int kTokChr = 266;
constexpr int kTokCmonth = 267;
constexpr int kTokCtod = 269;
constexpr int kTokDate = 270;
constexpr int kTokDay = 271;
constexpr int kTokDeleted = 272;
constexpr int kTokDow = 274;
constexpr int kTokDtoc = 275;
constexpr int kTokDtos = 277;
constexpr int kTokIif = 283;
constexpr int kTokInt = 284;
constexpr int kTokLeft = 288;
constexpr int kTokLen = 289;
constexpr int kTokLower = 292;
constexpr int kTokLtrim = 293;
constexpr int kTokMax = 294;
constexpr int kTokMin = 295;
constexpr int kTokMod = 296;
constexpr int kTokMonth = 297;
constexpr int kTokRecno = 300;
constexpr int kTokReplicate = 301;
constexpr int kTokRight = 302;
constexpr int kTokRound = 303;
constexpr int kTokRtrim = 305;
constexpr int kTokSoundex = 308;
constexpr int kTokSpace = 310;
constexpr int kTokStr = 311;
constexpr int kTokStuff = 312;
constexpr int kTokSubstr = 313;
constexpr int kTokTrim = 316;
constexpr int kTokUpper = 318;
constexpr int kTokVal = 319;
constexpr int kTokYear = 320;
constexpr int kFirstFunctionToken = kTokAbs;
constexpr int kLastFunctionToken = kTokYear;

// Fields of the current table by type (N also for F), then the same through
// an alias.
constexpr int kTokFieldC = 321;
constexpr int kTokFieldN = 322;
constexpr int kTokFieldL = 323;
constexpr int kTokFieldD = 324;
constexpr int kTokFieldM = 325;
constexpr int kTokAliasC = 326;
constexpr int kTokAliasN = 327;
constexpr int kTokAliasL = 328;
constexpr int kTokAliasD = 329;
constexpr int kTokAliasM = 330;
constexpr int kAliasOffset = kTokAliasC - kTokFieldC;

constexpr int kTokString = 331;
constexpr int kTokNumber = 332;
constexpr int kTokUnknown = 336;  // an unrecognised name ("$EOT$")
constexpr int kTokFalse = 337;
constexpr int kTokTrue = 338;
constexpr int kTokNot = 339;
constexpr int kTokOr = 340;
constexpr int kTokAnd = 341;
constexpr int kTokNotEqual = 342;  // <> and #
constexpr int kTokLessEqual = 343;
constexpr int kTokGreaterEqual = 344;
constexpr int kTokExactEqual = 345;  // ==
constexpr int kTokContains = 346;    // $

constexpr int kTokEnd = 0;
// Not in the grammar: an unterminated literal, an over-long number, text
// beyond the scanned part. The parser rejects it as a syntax error.
constexpr int kTokBad = 1;

// Opcodes besides the functions' and the fields'.
constexpr int kOpPush = 0;
constexpr int kOpEnd = -1;
constexpr int kOpAddNN = 347;
constexpr int kOpAddND = 348;
constexpr int kOpAddDN = 349;
constexpr int kOpAddCC = 350;
constexpr int kOpSubNN = 351;
constexpr int kOpSubDN = 352;
constexpr int kOpSubDD = 353;
constexpr int kOpSubCC = 354;
constexpr int kOpMul = 355;
constexpr int kOpDiv = 356;
constexpr int kOpPow = 357;
constexpr int kOpEqN = 358;
constexpr int kOpEqD = 359;
constexpr int kOpEqC = 360;
constexpr int kOpEqL = 361;
constexpr int kOpExactEqC = 362;
constexpr int kOpContains = 363;
constexpr int kOpGtN = 364;
constexpr int kOpGtD = 365;
constexpr int kOpGtC = 366;
constexpr int kOpLtN = 367;
constexpr int kOpLtD = 368;
constexpr int kOpLtC = 369;
constexpr int kOpNeN = 370;
constexpr int kOpNeD = 371;
constexpr int kOpNeC = 372;
constexpr int kOpNeL = 373;
constexpr int kOpLeN = 374;
constexpr int kOpLeD = 375;
constexpr int kOpLeC = 376;
constexpr int kOpGeN = 377;
constexpr int kOpGeD = 378;
constexpr int kOpGeC = 379;
constexpr int kOpOr = 380;
constexpr int kOpAnd = 381;
constexpr int kOpNot = 382;
constexpr int kOpNegate = 383;

// Fixed limits of the language.
constexpr size_t kScanLimit = 256;      // characters of the text scanned
constexpr size_t kMaxTokenText = 80;    // identifier and number tokens
constexpr size_t kLiteralArea = 511;    // all literals of one expression
constexpr size_t kAliasCompare = 10;    // alias characters compared
constexpr int kParserStackSize = 150;
constexpr size_t kMaxValueText = 255;   // longest character value

// Blank or invalid date, and the quotient of a division by zero.
constexpr double kBlankDateValue = 1e100;
constexpr double kDivideByZeroValue = 1e250;

}  // namespace sv::expr

#endif  // SV_ENGINE_EXPR_CODES_H_
