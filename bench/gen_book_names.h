// The names gen_book draws people and lists from: the ordinary book's, and the book whose
// every name holds letters beyond ASCII (--non-ascii).
#pragma once

namespace gen_book {

struct Name {
  const char* display;  // as the address book shows it (UTF-8)
  const char* ascii;    // as it appears in an e-mail address
  // The name in capitals, letter by letter (so ß stays ß): a copy of a person written in
  // capitals, the same person to a directory unless a final sigma became a capital.
  const char* upper = nullptr;
};

constexpr Name kGivenNames[] = {
    {"John", "john"},       {"Mary", "mary"},         {"Robert", "robert"},  {"Linda", "linda"},
    {"Michael", "michael"}, {"Susan", "susan"},       {"David", "david"},    {"Karen", "karen"},
    {"Peter", "peter"},     {"Anna", "anna"},         {"Thomas", "thomas"},  {"Laura", "laura"},
    {"Paul", "paul"},       {"Emma", "emma"},         {"Mark", "mark"},      {"Julia", "julia"},
    {"Steven", "steven"},   {"Sarah", "sarah"},       {"Daniel", "daniel"},  {"Claire", "claire"},
    {"José", "jose"},       {"Zoë", "zoe"},           {"Søren", "soren"},    {"Łukasz", "lukasz"},
    {"Günther", "gunther"}, {"François", "francois"}, {"Ingrid", "ingrid"},  {"Chloé", "chloe"},
    {"Mia", "mia"},         {"Noah", "noah"},         {"Olivia", "olivia"},  {"Liam", "liam"},
};

constexpr Name kSurnames[] = {
    {"Smith", "smith"},       {"Johnson", "johnson"},   {"Brown", "brown"},
    {"Taylor", "taylor"},     {"Miller", "miller"},     {"Wilson", "wilson"},
    {"Moore", "moore"},       {"Anderson", "anderson"}, {"Clark", "clark"},
    {"Lewis", "lewis"},       {"Walker", "walker"},     {"Young", "young"},
    {"Allen", "allen"},       {"King", "king"},         {"Wright", "wright"},
    {"Scott", "scott"},       {"Green", "green"},       {"Baker", "baker"},
    {"Adams", "adams"},       {"Nelson", "nelson"},     {"O'Brien", "obrien"},
    {"D'Angelo", "dangelo"},  {"van der Berg", "vanderberg"}, {"Dupont-Aignan", "dupont"},
    {"Müller", "mueller"},    {"Nørgaard", "norgaard"}, {"Gonçalves", "goncalves"},
    {"Šimek", "simek"},       {"Ångström", "angstrom"}, {"Hernández", "hernandez"},
    {"Schmidt", "schmidt"},   {"Rossi", "rossi"},
};

// Greek (with final sigma), Cyrillic, Turkish, Nordic and other Latin letters with diacritics.
constexpr Name kGivenNamesNonAscii[] = {
    {"Jürgen", "juergen", "JÜRGEN"},  {"Σοφία", "sofia", "ΣΟΦΊΑ"},   {"Юрий", "yuri", "ЮРИЙ"},
    {"Łukasz", "lukasz", "ŁUKASZ"},   {"Çağla", "cagla", "ÇAĞLA"},   {"Ørjan", "orjan", "ØRJAN"},
    {"Émilie", "emilie", "ÉMILIE"},   {"Žofie", "zofie", "ŽOFIE"},   {"Αλέξης", "alexis", "ΑΛΈΞΗΣ"},
    {"Дмитрий", "dmitri", "ДМИТРИЙ"}, {"Åsa", "asa", "ÅSA"},         {"İlkay", "ilkay", "İLKAY"},
    {"Søren", "soren", "SØREN"},      {"Zoë", "zoe", "ZOË"},         {"Chloé", "chloe", "CHLOÉ"},
    {"Ольга", "olga", "ОЛЬГА"},
};

constexpr Name kSurnamesNonAscii[] = {
    {"Müller", "mueller", "MÜLLER"},     {"Παπαδόπουλος", "papadopoulos", "ΠΑΠΑΔΌΠΟΥΛΟΣ"},
    {"Иванов", "ivanov", "ИВАНОВ"},      {"Łęcki", "lecki", "ŁĘCKI"},
    {"Nørgaard", "norgaard", "NØRGAARD"}, {"Gonçalves", "goncalves", "GONÇALVES"},
    {"Šimek", "simek", "ŠIMEK"},         {"Ångström", "angstrom", "ÅNGSTRÖM"},
    {"Hernández", "hernandez", "HERNÁNDEZ"}, {"Öztürk", "ozturk", "ÖZTÜRK"},
    {"Weiß", "weiss", "WEIß"},           {"Κωνσταντίνου", "konstantinou", "ΚΩΝΣΤΑΝΤΊΝΟΥ"},
    {"Смирнова", "smirnova", "СМИРНОВА"}, {"Dvořák", "dvorak", "DVOŘÁK"},
};

constexpr Name kListNamesNonAscii[] = {
    {"Οικογένεια", "", "ΟΙΚΟΓΈΝΕΙΑ"}, {"Друзья", "", "ДРУЗЬЯ"},
    {"Équipe Zürich", "", "ÉQUIPE ZÜRICH"}, {"Familie Müller", "", "FAMILIE MÜLLER"},
    {"Skiklubb Ål", "", "SKIKLUBB ÅL"},
};

}  // namespace gen_book
