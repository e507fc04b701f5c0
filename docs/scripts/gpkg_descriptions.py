# gpkg_descriptions.py FILE.gpkg: the description of every field of the
# GeoPackage's layers (its alias and one sentence), as the map program
# stores them in the table gpkg_data_columns.
import sqlite3
import sys

db = sqlite3.connect(sys.argv[1])
for table, column, alias, text in db.execute(
        "SELECT table_name, column_name, name, description FROM gpkg_data_columns"):
    print(table, column, alias, text, sep="\t")
