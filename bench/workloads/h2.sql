-- H2 workload: inserts from a recursive query, then joins, grouping and sorting.
CREATE TABLE item(id INT PRIMARY KEY, grp INT, name VARCHAR(40), price DECIMAL(10,2));
INSERT INTO item SELECT x, MOD(x, 97), CONCAT('item', x), MOD(x * 7919, 1000) / 10.0
  FROM SYSTEM_RANGE(1, 300000);
CREATE INDEX item_grp ON item(grp);
SELECT grp, COUNT(*), SUM(price), MAX(name) FROM item GROUP BY grp ORDER BY SUM(price) DESC LIMIT 5;
SELECT COUNT(*) FROM item a JOIN item b ON a.id = b.id + 1 WHERE a.grp = b.grp + 1;
SELECT name FROM item WHERE name LIKE '%77%' ORDER BY price, name LIMIT 5;
UPDATE item SET price = price * 1.1 WHERE MOD(id, 3) = 0;
SELECT grp, AVG(price) FROM item GROUP BY grp ORDER BY 2 DESC LIMIT 3;
