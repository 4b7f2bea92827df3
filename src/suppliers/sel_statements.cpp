#include "suppliers/sel_statements.h"

namespace epd::suppliers {
namespace {

std::string Quoted(std::string_view path) {
  std::string q = "\"";
  q.append(path);
  q += '"';
  return q;
}

std::string ListTable(const SelPlaces& at) { return Quoted(at.data_directory + at.list_file_name); }
std::string SupplierDirectory(const SelPlaces& at) { return Quoted(at.base_directory + "Price\\Sellers.dbf"); }

}  // namespace

std::string ListStatement(const SelPlaces& at) { return " SELECT * FROM " + ListTable(at) + " ORDER BY Seller "; }

std::string ChoiceStatement(const SelPlaces& at) {
  return " SELECT *  FROM " + SupplierDirectory(at) + " " + " WHERE not idSeller in " + "     ( SELECT idSeller FROM " +
         ListTable(at) + ") " + " ORDER BY Seller ";
}

std::string AddStatement(const SelPlaces& at) {
  return " INSERT INTO " + ListTable(at) + "(idSeller,Seller) " + " VALUES(:idSeller,:Seller) ";
}

std::string RemoveStatement(const SelPlaces& at) {
  return "DELETE FROM " + ListTable(at) + " WHERE idSeller=:idSeller ";
}

std::string ListSearchStatement(const SelPlaces& at) {
  return " SELECT * FROM " + ListTable(at) + " WHERE Upper(Seller) LIKE :Pattern ESCAPE '\\' " + " ORDER BY Seller ";
}

std::string ChoiceSearchStatement(const SelPlaces& at) {
  return " SELECT *  FROM " + SupplierDirectory(at) + " " +
         " WHERE UPPER(Seller) LIKE :Pattern ESCAPE '\\' AND (not idSeller in " + "     ( SELECT idSeller FROM " +
         ListTable(at) + ")) " + " ORDER BY Seller ";
}

std::string SearchPattern(std::string_view search_text) {
  std::string pattern = "%";
  for (char c : search_text) {
    if (c == '%' || c == '_' || c == '\\') pattern += '\\';
    pattern += c;
  }
  pattern += '%';
  return pattern;
}

}  // namespace epd::suppliers
