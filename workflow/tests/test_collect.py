"""The reduction of statistics tables to one row per run, and the table."""
import pytest

import collect
from conftest import HERE

STATS = """e\tsim\tsample\tseg\tgenes\tHe\tD
1\t1\tLower\t5\t10\t0.5\tNA
1\t2\tLower\t5\t10\t0.7\t-1.5
1\t1\tUpper\t157\t0\tNA\tNA
1\t2\tUpper\t157\t0\tNA\tNA
1\t1\t*\tNA\t20\t0.6\tinf
1\t2\t*\tNA\t20\t0.8\tnan
"""
PAIRS = """e\ts\tsample_a\tsample_b\tFst\triver_km
1\t1\t1\t2\t0.1\t12.5
1\t2\t1\t2\t0.3\t12.5
1\t1\t*\t*\t0.2\tNA
"""


def test_reduce_means_over_defined_values_and_names_columns(tmp_path):
    (tmp_path / "x_stats.tsv").write_text(STATS)
    (tmp_path / "x_pairs.tsv").write_text(PAIRS)
    row = collect.reduce_table(tmp_path / "x_stats.tsv")
    assert row == {"genes_Lower": 10.0, "genes_Upper": 0.0, "genes_all": 20.0,
                   "He_Lower": 0.6, "He_Upper": None, "He_all": 0.7,
                   "D_Lower": -1.5, "D_Upper": None, "D_all": None}
    # Sample names that look like numbers are still names.
    assert collect.reduce_table(tmp_path / "x_pairs.tsv") == {"Fst_1_2": 0.2, "Fst_all": 0.2,
                                                                    "river_km_1_2": 12.5, "river_km_all": None}


def test_table_has_the_union_of_columns_and_NA_for_what_a_run_lacks(tmp_path):
    rows = [{"run": 0, "status": "success", "He_A": 0.25}, {"run": 1, "status": "failed", "error": "x"}]
    collect.write_table(rows, str(tmp_path / "t.tsv"))
    assert (tmp_path / "t.tsv").read_text() == "run\tstatus\tHe_A\terror\n0\tsuccess\t0.25\tNA\n1\tfailed\tNA\tx\n"


def test_a_row_with_a_field_missing_is_refused(tmp_path):
    (tmp_path / "bad.tsv").write_text("e\ts\tsample\tHe\n1\t1\tA\n")
    try:
        collect.read_tsv(tmp_path / "bad.tsv")
    except ValueError as error:
        assert "line 2: 3 fields, the header has 4" in str(error)
    else:
        raise AssertionError("accepted")


def test_an_interrupted_run_is_not_kept_as_a_result(tmp_path):
    run = {"run": 0, "draw": 0, "replicate": 0, "seed": 9, "parameters": {"capacity": 1},
           "folder": str(tmp_path / "r"), "command": [f"{HERE}/fake_program.py", "--seed", "9", "--out",
                                                     str(tmp_path / "r"), "--set", "capacity=1", "x"]}
    with pytest.raises(RuntimeError, match="run 0 was interrupted"):
        collect.run_one(run)
    assert not (tmp_path / "r" / "row.json").exists()
    run["command"][-2] = "capacity=0"
    assert collect.run_one(run)["status"] == "failed" and (tmp_path / "r" / "row.json").exists()
